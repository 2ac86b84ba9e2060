#include "support/scriptedserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kIoTimeoutMs = 10000;  // a client silent this long is given up
constexpr size_t kMaxRequest = 1 << 20;

// Byte count announced by a "Content-Length:" line of head, 0 without one.
size_t ContentLength(const std::string& head)
{
    const size_t at = head.find("Content-Length:");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
}
}  // namespace

ScriptedServer::ScriptedServer(ServerScript serverScript) : ScriptedServer(std::move(serverScript), true) {}

std::unique_ptr<ScriptedServer> ScriptedServer::NeverAccepting()
{
    return std::unique_ptr<ScriptedServer>(new ScriptedServer(ServerScript{}, false));
}

ScriptedServer::ScriptedServer(ServerScript serverScript, bool acceptConnections) : script(std::move(serverScript))
{
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    stopFd = eventfd(0, EFD_CLOEXEC);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A backlog of one keeps a port that never accepts from taking more than
    // a couple of connections; the rest never finish connecting.
    if (listener < 0 || stopFd < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(listener, acceptConnections ? 128 : 1) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port = ntohs(address.sin_port);
    if (acceptConnections)
        acceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer()
{
    const uint64_t one = 1;
    if (write(stopFd, &one, sizeof one) != sizeof one)
        std::abort();  // the threads could never be told to stop
    if (acceptor.joinable())
        acceptor.join();
    for (std::thread& session : sessions)
        session.join();
    close(listener);
    close(stopFd);
}

std::string ScriptedServer::LastRequest() const
{
    std::lock_guard<std::mutex> lock(requestLock);
    return lastRequest;
}

std::string ScriptedServer::Url() const
{
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

bool ScriptedServer::Wait(int fd, short events, int timeoutMs) const
{
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int ready;
    do
        ready = poll(fds, 2, timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

void ScriptedServer::AcceptLoop()
{
    while (Wait(listener, POLLIN, -1)) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++accepted;
        if (live >= kMaxSessions) {
            close(fd);
            continue;
        }
        ++live;
        std::lock_guard<std::mutex> lock(sessionsLock);
        sessions.emplace_back([this, fd] {
            Serve(fd);
            close(fd);
            --live;
        });
    }
}

bool ScriptedServer::Send(int fd, const char* data, size_t size)
{
    while (size > 0) {
        if (!Wait(fd, POLLOUT, kIoTimeoutMs))
            return false;
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ScriptedServer::ReadRequest(int fd)
{
    std::string got;
    char buffer[4096];
    auto complete = [&] {
        switch (script.request) {
        case ServerScript::Request::Http: {
            const size_t head = got.find("\r\n\r\n");
            return head != std::string::npos && got.size() >= head + 4 + ContentLength(got.substr(0, head));
        }
        case ServerScript::Request::Socks4: return got.size() > 8 && got.find('\0', 8) != std::string::npos;
        case ServerScript::Request::None: break;
        }
        return true;
    };
    bool read = true;
    while (read && !complete()) {
        const ssize_t n =
            got.size() > kMaxRequest || !Wait(fd, POLLIN, kIoTimeoutMs) ? 0 : recv(fd, buffer, sizeof buffer, 0);
        read = n > 0;
        if (read)
            got.append(buffer, static_cast<size_t>(n));
    }
    std::lock_guard<std::mutex> lock(requestLock);
    lastRequest = got;
    return read;
}

void ScriptedServer::Serve(int fd)
{
    if (!ReadRequest(fd))
        return;
    if (script.byteDelayMs > 0) {
        const size_t atOnce = std::min(script.slowFrom, script.reply.size());
        if (!Send(fd, script.reply.data(), atOnce))
            return;
        for (char byte : script.reply.substr(atOnce)) {
            if (!Send(fd, &byte, 1))
                return;
            pollfd stop = {stopFd, POLLIN, 0};
            if (poll(&stop, 1, script.byteDelayMs) != 0)
                return;
        }
    } else if (!Send(fd, script.reply.data(), script.reply.size())) {
        return;
    }
    if (!script.endless.empty())
        while (Send(fd, script.endless.data(), script.endless.size())) {
        }

    char buffer[4096];
    switch (script.ending) {
    case ServerScript::Ending::Reset: {
        const linger reset = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return;
    }
    case ServerScript::Ending::Close:
        // Half-close and drain, so unread input cannot turn the close into a
        // reset that destroys the reply on its way.
        shutdown(fd, SHUT_WR);
        while (Wait(fd, POLLIN, kIoTimeoutMs) && recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    case ServerScript::Ending::Hold:
        while (Wait(fd, POLLIN, -1) && recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
}

namespace {
ServerScript HttpScript(std::string answer, RawHttpServer::Mode mode, int trickleMs)
{
    ServerScript script;
    script.reply = std::move(answer);
    if (mode == RawHttpServer::Mode::Trickle) {
        script.byteDelayMs = trickleMs;
        script.slowFrom = script.reply.find("\r\n\r\n") + 4;
    } else if (mode == RawHttpServer::Mode::Silent) {
        script.ending = ServerScript::Ending::Hold;
    }
    return script;
}
}  // namespace

RawHttpServer::RawHttpServer(std::string answer, Mode mode, int trickleMs)
    : ScriptedServer(HttpScript(std::move(answer), mode, trickleMs))
{}

std::string RawHttpServer::HttpAnswer(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}
