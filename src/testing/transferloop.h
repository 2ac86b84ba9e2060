#pragma once

#include <chrono>
#include <functional>

#include <curl/curl.h>

class CTestFetch;

// Many test fetches side by side on a few libcurl multi handles, driven from
// one thread through libcurl's socket interface and epoll: the cost of a wait
// grows with the sockets that have something to do, not with all sockets in
// flight, so thousands of transfers cost no thread and no polling round.
// Fetches are dealt over the multi handles in turn, because libcurl keeps
// every connection through a SOCKS proxy in one list per target host and
// searches it whenever a connection closes.
class CTransferLoop {
public:
    using Clock = std::chrono::steady_clock;

    CTransferLoop();
    ~CTransferLoop();  // fetches still added must be gone (removed) before
    CTransferLoop(const CTransferLoop&) = delete;
    CTransferLoop& operator=(const CTransferLoop&) = delete;

    // False when a multi handle or the epoll set could not be made; Add
    // then starts nothing and every fetch counts as failed.
    bool Ready() const;

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
    // One multi handle with its libcurl timer.
    struct Shard {
        CTransferLoop* loop = nullptr;
        uint32_t index = 0;
        CURLM* multi = nullptr;
        bool timerSet = false;
        Clock::time_point timerDue;
    };
    static constexpr size_t kShards = 16;

    static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* shard, void* socketData);
    static int OnTimer(CURLM* multi, long timeoutMs, void* shard);
    void CollectEnded(Shard& shard, const std::function<void(CTestFetch&)>& ended);

    Shard shards_[kShards];
    size_t nextShard_ = 0;
    const int epollFd_;
    const int wakeFd_;  // eventfd in the epoll set
};

// Wakes every transfer loop that exists, so a cancel is seen at once.
void WakeTransfers();
