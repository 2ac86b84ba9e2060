#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

// A one-thread HTTP server on a free loopback port with a scripted way of
// answering, for the transfer limits of PostForm. Connections are served one
// after another; the destructor stops serving.
class RawHttpServer {
public:
    enum class Mode {
        Answer,   // send the answer bytes at once
        Trickle,  // send the head at once, then the body one byte every trickleMs
        Silent,   // read the request, then say nothing until the client leaves
    };

    RawHttpServer(std::string answer, Mode mode, int trickleMs = 0);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int Port() const { return port; }
    int Connections() const { return connections; }
    // The bytes of the last request received (head and body).
    std::string LastRequest() const;

    // A complete answer with Content-Length and "Connection: close".
    static std::string HttpAnswer(const std::string& body);

private:
    void Serve();
    void Handle(int client);
    bool SendAll(int client, const char* bytes, size_t size);

    std::string answer;
    Mode mode;
    int trickleMs;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    mutable std::mutex requestLock;
    std::string lastRequest;
    std::thread thread;
};
