#include "guardedserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "service/socketowner.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Endpoint(int sock, bool peer, std::string& ip, int& port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if ((peer ? getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length)
              : getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length))
        != 0)
        return false;
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    } else {
        return false;
    }
    ip = text;
    return true;
}

// A connection's socket whose every wait ends after longestWait, and at the
// request's deadline at the latest.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(int sock, Clock::time_point deadline, std::chrono::milliseconds longestWait)
        : sock_(sock), deadline_(deadline), longestWait_(longestWait)
    {}

    bool is_readable() const override { return Wait(POLLIN); }
    bool is_writable() const override { return Wait(POLLOUT); }
    ssize_t read(char* ptr, size_t size) override
    {
        if (!Wait(POLLIN))
            return -1;
        return recv(sock_, ptr, size, 0);
    }
    ssize_t write(const char* ptr, size_t size) override
    {
        if (!Wait(POLLOUT))
            return -1;
        return send(sock_, ptr, size, MSG_NOSIGNAL);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { Endpoint(sock_, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Endpoint(sock_, false, ip, port); }
    int socket() const override { return sock_; }

private:
    bool Wait(short events) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{sock_, events, 0};
        return poll(&entry, 1, static_cast<int>(std::min(left, longestWait_).count())) > 0
               && (entry.revents & (events | POLLHUP | POLLERR));
    }

    int sock_;
    Clock::time_point deadline_;
    std::chrono::milliseconds longestWait_;
};

}  // namespace

GuardedServer::GuardedServer(Limits limits) : limits_(limits), owner_(getuid())
{
    // One listener a port: httplib's default adds SO_REUSEPORT, with which a
    // second service started by this user would share the port and take half
    // of the requests instead of failing to start.
    set_socket_options([](int sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

bool GuardedServer::Admit(bool own)
{
    if (own)
        return true;
    const std::lock_guard<std::mutex> hold(lock_);
    if (othersHeld_ >= limits_.othersShare)
        return false;
    ++othersHeld_;
    return true;
}

void GuardedServer::Release(bool own)
{
    if (own)
        return;
    const std::lock_guard<std::mutex> hold(lock_);
    --othersHeld_;
}

bool GuardedServer::process_and_close_socket(int sock)
{
    const Clock::time_point deadline = Clock::now() + limits_.requestDeadline;
    // A client whose owner cannot be told counts as another user's.
    LocalConnection connection;
    const bool own = Endpoint(sock, false, connection.serverIp, connection.serverPort)
                     && Endpoint(sock, true, connection.clientIp, connection.clientPort)
                     && ClientSocketOwner(connection) == owner_;
    bool served = false;
    if (Admit(own)) {
        // The answer's head and body leave together, as one segment when small.
        int cork = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
        // Each wait as long as httplib's own read timeout.
        DeadlineStream stream(sock, deadline, std::chrono::seconds(read_timeout_sec_));
        bool closed = false;
        served = process_request(stream, true, closed, nullptr);
        cork = 0;
        setsockopt(sock, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
        Release(own);
    } else {
        static const char kBusy[] =
            "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        send(sock, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return served;
}
