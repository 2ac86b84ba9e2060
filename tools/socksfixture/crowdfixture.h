#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Thousands of simple SOCKS4 proxies and a test page on 127.0.0.1, served by
// one thread through epoll, for runs at the scale of public proxy lists (the
// scripted SocksFixture spends a thread on every connection). Relays connect
// only to loopback targets, so nothing leaves the machine.
class CrowdFixture {
public:
    enum class Kind {
        Relay,               // grants a SOCKS4 CONNECT after a delay and relays; refuses SOCKS5
        RelayHoldingSocks5,  // as Relay, but a SOCKS5 greeting gets no answer at all
        Silent,              // accepts, reads, never answers until the client leaves
        Refuse,              // the port is taken but nobody listens: connections are refused
    };

    CrowdFixture();
    ~CrowdFixture();  // stops serving and closes every socket
    CrowdFixture(const CrowdFixture&) = delete;
    CrowdFixture& operator=(const CrowdFixture&) = delete;

    // Opens a proxy port; returns it, or 0 when no socket could be opened.
    int AddProxy(Kind kind, int delayMs = 0);
    // Opens a page port that sends an HTTP answer holding the word "engine"
    // as soon as a client connects, whatever the client sends.
    int AddPage();

    // Connections a proxy port has accepted so far.
    int Accepted(int port) const;
    // The most proxy ports that had a client connected at one moment.
    int PeakBusyPorts() const;

private:
    struct Port;
    struct Session;
    void Serve();
    int AddPort(std::unique_ptr<Port> port);
    void Accept(Port& port);
    void OnReadable(Session& session, bool upstream);
    void OnWritable(Session& session, bool upstream);
    void HandleRequest(Session& session);
    void ConnectUpstream(Session& session);
    void Relay(Session& session, bool fromUpstream);
    // Watches each side for what it can do now; closes a finished relay.
    void Rearm(Session& session);
    void Watch(int fd, void* tag, uint32_t events, bool add);
    void Close(Session& session);
    void RunDueTimers();
    int NextTimerMs() const;

    const int epollFd_;
    const int stopFd_;
    mutable std::mutex lock_;  // guards the ports' counters and busyPorts
    std::vector<std::unique_ptr<Port>> ports_;
    std::map<Session*, std::unique_ptr<Session>> sessions_;  // owned by the serving thread
    std::vector<std::unique_ptr<Session>> closedThisRound_;  // freed once the round's events are handled
    std::multimap<long long, Session*> timers_;              // due time in ms (steady clock) -> session
    int busyPorts_ = 0, peakBusyPorts_ = 0;
    std::thread server_;
};
