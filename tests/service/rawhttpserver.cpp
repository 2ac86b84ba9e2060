#include "rawhttpserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {
constexpr int kPollMs = 20;

// Waits until fd is readable; false when the server is stopping.
bool WaitReadable(int fd, const std::atomic<bool>& stopping)
{
    while (!stopping) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, kPollMs) > 0)
            return true;
    }
    return false;
}
}  // namespace

RawHttpServer::RawHttpServer(std::string answerBytes, Mode serveMode, int trickle)
    : answer(std::move(answerBytes)), mode(serveMode), trickleMs(trickle)
{
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port = ntohs(address.sin_port);
    thread = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer()
{
    stopping = true;
    thread.join();
    close(listener);
}

std::string RawHttpServer::HttpAnswer(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

std::string RawHttpServer::LastRequest() const
{
    std::lock_guard<std::mutex> lock(requestLock);
    return lastRequest;
}

void RawHttpServer::Serve()
{
    while (WaitReadable(listener, stopping)) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        ++connections;
        Handle(client);
        close(client);
    }
}

void RawHttpServer::Handle(int client)
{
    // Read the head, then as much body as Content-Length announces.
    std::string request;
    char chunk[4096];
    size_t wanted = std::string::npos;
    while (request.size() < wanted && WaitReadable(client, stopping)) {
        const ssize_t got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0)
            return;
        request.append(chunk, static_cast<size_t>(got));
        const size_t headEnd = request.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos) {
            const size_t field = request.find("Content-Length: ");
            const size_t bodyLength = field < headEnd ? std::strtoul(request.c_str() + field + 16, nullptr, 10) : 0;
            wanted = headEnd + 4 + bodyLength;
        }
    }
    {
        std::lock_guard<std::mutex> lock(requestLock);
        lastRequest = request;
    }
    switch (mode) {
    case Mode::Answer: SendAll(client, answer.data(), answer.size()); break;
    case Mode::Trickle: {
        const size_t head = answer.find("\r\n\r\n") + 4;
        if (!SendAll(client, answer.data(), head))
            break;
        for (size_t i = head; i < answer.size() && !stopping; ++i) {
            if (!SendAll(client, &answer[i], 1))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(trickleMs));
        }
        break;
    }
    case Mode::Silent:
        // Until the client gives up (readable with nothing to read) or we stop.
        while (WaitReadable(client, stopping) && recv(client, chunk, sizeof chunk, 0) > 0) {
        }
        break;
    }
}

bool RawHttpServer::SendAll(int client, const char* bytes, size_t size)
{
    while (size > 0 && !stopping) {
        const ssize_t sent = send(client, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return size == 0;
}
