#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How a ScriptedServer treats every connection it accepts: read what the
// client sends first, answer with raw bytes (optionally one byte at a time),
// optionally stream a chunk for ever, then end the way the script says.
// Nothing here checks what the client wants; it is meant to misbehave.
struct ServerScript {
    enum class Request {
        Http,    // wait for the blank line that ends an HTTP request head
        Socks4,  // wait for a SOCKS4 request (eight bytes, user id, NUL)
        None,    // answer at once
    };
    enum class Ending {
        Close,  // orderly close (FIN)
        Reset,  // close with RST
        Hold,   // keep the connection open, silent, until the client leaves
    };

    Request request = Request::Http;
    std::string reply;    // sent first
    int byteDelayMs = 0;  // > 0: reply goes out one byte, then this pause
    std::string endless;  // not empty: sent again and again after reply
    Ending ending = Ending::Close;
    size_t slowFrom = 0;  // with byteDelayMs: the bytes of reply before this go out at once
};

// A TCP server on a free 127.0.0.1 port that plays one ServerScript on every
// connection, each on a thread of its own (at most kMaxSessions at once; more
// are closed at once). Everything stops and is joined at destruction.
class ScriptedServer {
public:
    static constexpr int kMaxSessions = 256;

    explicit ScriptedServer(ServerScript script);
    // A port that listens but never accepts: connections stay in the kernel's
    // queue, or never finish connecting once it is full. Nothing is ever read.
    static std::unique_ptr<ScriptedServer> NeverAccepting();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port; }
    std::string Url() const;  // "http://127.0.0.1:<port>/"
    int Connections() const { return accepted; }
    size_t BytesSent() const { return sent; }
    // The bytes of the last request read (head and body), "" before any.
    std::string LastRequest() const;

private:
    ScriptedServer(ServerScript script, bool acceptConnections);
    void AcceptLoop();
    void Serve(int fd);
    bool ReadRequest(int fd);
    bool Send(int fd, const char* data, size_t size);
    // Waits until fd has events or the server stops; false on stop or timeout.
    bool Wait(int fd, short events, int timeoutMs) const;

    const ServerScript script;
    int listener = -1;
    int stopFd = -1;
    int port = 0;
    std::atomic<int> accepted{0};
    std::atomic<int> live{0};
    std::atomic<size_t> sent{0};
    mutable std::mutex requestLock;
    std::string lastRequest;
    std::mutex sessionsLock;
    std::vector<std::thread> sessions;
    std::thread acceptor;
};

// An HTTP server that answers every request alike, in one of three ways.
class RawHttpServer : public ScriptedServer {
public:
    enum class Mode {
        Answer,   // send the answer bytes at once
        Trickle,  // send the head at once, then the body one byte every trickleMs
        Silent,   // read the request, then say nothing until the client leaves
    };

    RawHttpServer(std::string answer, Mode mode, int trickleMs = 0);

    // A complete answer with Content-Length and "Connection: close".
    static std::string HttpAnswer(const std::string& body);
};
