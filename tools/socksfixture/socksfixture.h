#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Scripted SOCKS servers and a test page on loopback, for tests, the
// benchmark and the demo. One acceptor thread watches every listening port;
// each connection is served on a thread of its own (bounded in number).
// Targets outside 127.0.0.0/8 are refused, so nothing leaves the machine.

struct SocksBehaviour {
    enum class Protocol { Socks4, Socks5, Both };
    enum class Action {
        Relay,           // connect to the requested target and relay both ways
        Reject,          // refuse the request (SOCKS4 0x5B, SOCKS5 0x02)
        CloseAtOnce,     // close the connection right after accepting it
        NeverAnswer,     // read the request, then say nothing until the client leaves
        Serve,           // grant the request, then answer the HTTP request itself
        ServeEndless,    // grant, then send a body that never ends
        ServeTrickle,    // grant, then send the answer one byte per trickleMs
        ServeThenReset,  // grant, send half the answer, then reset the connection
    };

    Protocol protocol = Protocol::Socks4;
    Action action = Action::Relay;
    int delayMs = 0;  // waited after a granted request, before the reply
    // Serve*: the HTTP answer for the n-th request this port serves; the last
    // one repeats. Empty means the standard test page.
    std::vector<std::string> answers;
    int trickleMs = 100;
    // Takes host names (SOCKS4a, SOCKS5's domain names). It knows only
    // "localhost", as 127.0.0.1, and never asks a resolver; other names are
    // refused. False: a SOCKS4 server without 4a, which reads 0.0.0.x as an
    // address, and a SOCKS5 server that refuses the name's address type.
    bool takesNames = true;
};

// One connection a fixture port accepted, as the server saw it.
struct FixtureConnection {
    int port = 0;
    int sequence = 0;       // order of acceptance over the whole fixture
    int version = 0;        // first byte the client sent: 4, 5 or 0 for none
    bool granted = false;   // the SOCKS request was valid and answered with success
    std::string handshake;  // the SOCKS bytes the client sent
    std::string payload;    // what the client sent after the handshake (capped at 64 KiB)
};

// A complete HTTP/1.1 answer with Content-Length and "Connection: close".
std::string HttpAnswer(int status, const std::string& body);
// The body of the standard test page; it holds the word "engine".
extern const char* const kTestPageBody;

class SocksFixture {
public:
    SocksFixture();
    ~SocksFixture();  // stops serving and waits for every connection thread
    SocksFixture(const SocksFixture&) = delete;
    SocksFixture& operator=(const SocksFixture&) = delete;

    // Opens a SOCKS port on 127.0.0.1 with the given behaviour; returns the
    // port, or 0 when no socket could be opened.
    int AddSocks(const SocksBehaviour& behaviour);
    // Opens a plain HTTP port that gives every request the answer (default:
    // the standard test page, status 200); returns the port or 0.
    int AddPage(const std::string& answer = std::string());
    // "http://127.0.0.1:<port>/" for a page port.
    static std::string PageUrl(int port);

    std::vector<FixtureConnection> Connections(int port) const;
    std::vector<FixtureConnection> AllConnections() const;
    int ConnectionCount(int port) const;
    // Waits until port has accepted at least count connections; false on timeout.
    bool WaitForConnections(int port, int count, int timeoutMs) const;

private:
    struct Listener;
    friend class FixtureSession;

    int AddListener(std::unique_ptr<Listener> listener);
    void AcceptLoop();
    // Applies change to the record of a connection under the lock.
    template <class Change>
    void UpdateRecord(size_t index, Change change);

    int stopFd = -1;  // eventfd, readable once the fixture stops
    int wakeFd = -1;  // eventfd, tells the acceptor that a port was added
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::vector<std::unique_ptr<Listener>> listeners;
    std::vector<FixtureConnection> records;
    int activeConnections = 0;
    std::thread acceptor;
};
