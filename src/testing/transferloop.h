#pragma once

#include <chrono>
#include <functional>

#include <curl/curl.h>

class CTestFetch;

// Many test fetches side by side on one libcurl multi handle, driven from one
// thread through libcurl's socket interface and epoll: the cost of a wait
// grows with the sockets that have something to do, not with all sockets in
// flight, so thousands of transfers cost no thread and no polling round.
class CTransferLoop {
public:
    using Clock = std::chrono::steady_clock;

    CTransferLoop();
    ~CTransferLoop();  // fetches still added must be gone (removed) before
    CTransferLoop(const CTransferLoop&) = delete;
    CTransferLoop& operator=(const CTransferLoop&) = delete;

    // False when the multi handle or the epoll set could not be made; Add
    // then starts nothing and every fetch counts as failed.
    bool Ready() const { return multi && epollFd >= 0; }

    // Starts fetch; it stays on the loop until it ends or is destroyed.
    void Add(CTestFetch& fetch);
    void Remove(CTestFetch& fetch);

    // Waits until a socket is ready, libcurl's timer runs out, until is
    // reached or Wake is called, whichever comes first; drives libcurl and
    // calls ended for every fetch that ended meanwhile.
    void Wait(Clock::time_point until, const std::function<void(CTestFetch&)>& ended);

    // Makes a Wait under way return at once; safe from any thread.
    void Wake();

private:
    static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* loop, void* socketData);
    static int OnTimer(CURLM* multi, long timeoutMs, void* loop);
    void Act(curl_socket_t socket, int events);
    void CollectEnded(const std::function<void(CTestFetch&)>& ended);

    CURLM* const multi;
    const int epollFd;
    const int wakeFd;  // eventfd in the epoll set
    bool timerSet = false;
    Clock::time_point timerDue;
};

// Wakes every transfer loop that exists, so a cancel is seen at once.
void WakeTransfers();
