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
    std::mutex sessionsLock;
    std::vector<std::thread> sessions;
    std::thread acceptor;
};
