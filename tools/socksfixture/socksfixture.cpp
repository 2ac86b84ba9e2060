#include "socksfixture.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kMaxConnections = 1024;  // more at once are closed unanswered
constexpr int kHandshakeTimeoutMs = 10000;
constexpr size_t kMaxRecorded = 64 * 1024;

const char kEndlessHeader[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";

// Waits until fd is ready for events; false on timeout, error or stop.
bool WaitFor(int fd, short events, int stopFd, int timeoutMs)
{
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int ready;
    do
        ready = poll(fds, 2, timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

// Sleeps ms unless the fixture stops first; false when it stopped.
bool Pause(int stopFd, int ms)
{
    pollfd fd = {stopFd, POLLIN, 0};
    return poll(&fd, 1, ms) == 0;
}

bool SendAll(int fd, int stopFd, const char* data, size_t size)
{
    while (size > 0) {
        if (!WaitFor(fd, POLLOUT, stopFd, kHandshakeTimeoutMs))
            return false;
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SendAll(int fd, int stopFd, const std::string& data)
{
    return SendAll(fd, stopFd, data.data(), data.size());
}

int OpenLoopbackListener(int& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 128) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool IsLoopback(const in_addr& address)
{
    return (ntohl(address.s_addr) >> 24) == 127;
}

// The only name the fixture knows; anything else stays unresolved (0.0.0.0).
in_addr ResolveFixtureName(const std::string& name)
{
    in_addr address{};
    if (name == "localhost")
        address.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}
}  // namespace

const char* const kTestPageBody =
    "<html><head><title>Test page</title></head><body>A small search engine test page.</body></html>";

std::string HttpAnswer(int status, const std::string& body)
{
    const char* reason = status == 200 ? "OK" : status == 403 ? "Forbidden" : status == 404 ? "Not Found" : "Status";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: text/html\r\nContent-Length: "
           + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

struct SocksFixture::Listener {
    int fd = -1;
    int port = 0;
    bool isPage = false;
    SocksBehaviour behaviour;
    std::string pageAnswer;
    std::atomic<int> served{0};  // requests answered by Serve*, picks the answer
    ~Listener()
    {
        if (fd >= 0)
            close(fd);
    }
};

// One accepted connection, served on its own thread.
class FixtureSession {
public:
    FixtureSession(SocksFixture& owner, SocksFixture::Listener& acceptedBy, int socket, size_t recordIndex)
        : fixture_(owner), listener_(acceptedBy), behaviour_(acceptedBy.behaviour), fd_(socket), stopFd_(owner.stopFd_),
          record_(recordIndex)
    {}
    ~FixtureSession()
    {
        close(fd_);
        if (upstreamFd_ >= 0)
            close(upstreamFd_);
    }

    void Run()
    {
        if (listener_.isPage) {
            if (ReadHttpRequest())
                SendAll(fd_, stopFd_, listener_.pageAnswer);
            LingerUntilClosed();
            return;
        }
        if (behaviour_.action == SocksBehaviour::Action::CloseAtOnce)
            return;
        std::string first;
        if (!ReadHandshake(1, first))
            return;
        const int version = static_cast<unsigned char>(first[0]);
        fixture_.UpdateRecord(record_, [&](FixtureConnection& c) { c.version = version; });
        sockaddr_in target{};
        const bool granted = version == 4 ? Socks4Request(target) : version == 5 && Socks5Request(target);
        if (!granted)
            return;
        fixture_.UpdateRecord(record_, [](FixtureConnection& c) { c.granted = true; });
        AfterGrant();
    }

private:
    using Action = SocksBehaviour::Action;
    using Protocol = SocksBehaviour::Protocol;

    bool Speaks(int version) const
    {
        if (behaviour_.protocol == Protocol::Both)
            return true;
        return version == (behaviour_.protocol == Protocol::Socks4 ? 4 : 5);
    }

    bool ReadHandshake(size_t count, std::string& out)
    {
        out.clear();
        char buffer[512];
        while (out.size() < count) {
            if (!WaitFor(fd_, POLLIN, stopFd_, kHandshakeTimeoutMs))
                return false;
            const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (got <= 0)
                return false;
            out.append(buffer, static_cast<size_t>(got));
        }
        fixture_.UpdateRecord(record_, [&](FixtureConnection& c) { c.handshake += out; });
        return true;
    }

    // Reads a NUL-terminated field of a SOCKS4 request.
    bool ReadZeroTerminated(std::string& out)
    {
        out.clear();
        std::string byte;
        while (out.size() < 256) {
            if (!ReadHandshake(1, byte))
                return false;
            if (byte[0] == '\0')
                return true;
            out += byte;
        }
        return false;
    }

    bool WaitNeverAnswer()
    {
        if (behaviour_.action == Action::NeverAnswer)
            WaitUntilClosed();
        return behaviour_.action != Action::NeverAnswer;
    }

    bool Socks4Request(sockaddr_in& target)
    {
        // VN (read), CD, DSTPORT, DSTIP, USERID, NUL.
        std::string header, user;
        if (!ReadHandshake(7, header) || !ReadZeroTerminated(user))
            return false;
        target.sin_family = AF_INET;
        std::memcpy(&target.sin_port, header.data() + 1, 2);
        std::memcpy(&target.sin_addr, header.data() + 3, 4);
        // SOCKS4a: DSTIP 0.0.0.x with x > 0, the host name after the user id.
        const bool named = header.compare(3, 3, std::string(3, '\0')) == 0 && header[6] != '\0';
        if (named && behaviour_.takesNames) {
            std::string name;
            if (!ReadZeroTerminated(name))
                return false;
            target.sin_addr = ResolveFixtureName(name);
        }
        if (!WaitNeverAnswer())
            return false;
        const bool ok = Decide(Speaks(4) && header[0] == 1, target);
        std::string reply = {'\0', ok ? '\x5A' : '\x5B'};
        reply.append(header, 1, 6);
        return SendAll(fd_, stopFd_, reply) && ok;
    }

    bool Socks5Request(sockaddr_in& target)
    {
        std::string count, methods;
        if (!ReadHandshake(1, count) || !ReadHandshake(static_cast<unsigned char>(count[0]), methods))
            return false;
        if (!WaitNeverAnswer() || (behaviour_.socks5HoldMs > 0 && !Pause(stopFd_, behaviour_.socks5HoldMs)))
            return false;
        if (!Speaks(5) || methods.find('\0') == std::string::npos) {
            SendAll(fd_, stopFd_, std::string("\x05\xFF", 2));  // no acceptable method
            return false;
        }
        if (!SendAll(fd_, stopFd_, std::string("\x05\x00", 2)))
            return false;
        // VER CMD RSV ATYP, then an IPv4 address or a name (when the
        // behaviour takes names) and the port; other address types are refused.
        std::string request, address;
        if (!ReadHandshake(4, request))
            return false;
        const bool ipv4 = request[3] == 1, named = request[3] == 3 && behaviour_.takesNames;
        std::string length, name;
        if (named && (!ReadHandshake(1, length) || !ReadHandshake(static_cast<unsigned char>(length[0]), name)))
            return false;
        if ((!ipv4 && !named) || !ReadHandshake(ipv4 ? 6 : 2, address)) {
            SendAll(fd_, stopFd_, std::string("\x05\x08\x00\x01\0\0\0\0\0\0", 10));
            return false;
        }
        target.sin_family = AF_INET;
        if (named) {
            target.sin_addr = ResolveFixtureName(name);
            address = std::string(reinterpret_cast<const char*>(&target.sin_addr), 4) + address;
        } else {
            std::memcpy(&target.sin_addr, address.data(), 4);
        }
        std::memcpy(&target.sin_port, address.data() + 4, 2);
        const bool ok = Decide(request[1] == 1, target);
        std::string reply = {'\x05', ok ? '\0' : '\x02', '\0', '\x01'};
        reply += address;
        return SendAll(fd_, stopFd_, reply) && ok;
    }

    // Grants or refuses a request: a CONNECT the behaviour accepts, to a
    // loopback target for a relay. Waits the delay and, for a relay, opens
    // the connection to the target.
    bool Decide(bool connect, const sockaddr_in& target)
    {
        if (!connect || behaviour_.action == Action::Reject
            || (behaviour_.action == Action::Relay && !IsLoopback(target.sin_addr)))
            return false;
        if (behaviour_.delayMs > 0 && !Pause(stopFd_, behaviour_.delayMs))
            return false;
        if (behaviour_.action == Action::Relay)
            upstreamFd_ = Connect(target);
        return behaviour_.action != Action::Relay || upstreamFd_ >= 0;
    }

    int Connect(const sockaddr_in& target)
    {
        const int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (upstream >= 0 && connect(upstream, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
            return upstream;
        if (upstream >= 0)
            close(upstream);
        return -1;
    }

    void AfterGrant()
    {
        if (behaviour_.action == Action::Relay) {
            Relay();
            return;
        }
        if (!ReadHttpRequest())
            return;
        const int index = listener_.served++;
        std::string answer = behaviour_.answers.empty()
                                 ? HttpAnswer(200, kTestPageBody)
                                 : behaviour_.answers[std::min<size_t>(index, behaviour_.answers.size() - 1)];
        switch (behaviour_.action) {
        case Action::ServeEndless: {
            const std::string chunk(16 * 1024, 'e');
            if (SendAll(fd_, stopFd_, kEndlessHeader))
                while (SendAll(fd_, stopFd_, chunk)) {
                }
            return;
        }
        case Action::ServeTrickle:
            for (char byte : answer)
                if (!SendAll(fd_, stopFd_, &byte, 1) || !Pause(stopFd_, behaviour_.trickleMs))
                    return;
            break;
        case Action::ServeThenReset: {
            SendAll(fd_, stopFd_, answer.data(), answer.size() / 2);
            const linger reset = {1, 0};  // close with RST instead of FIN
            setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            return;
        }
        default: SendAll(fd_, stopFd_, answer); break;
        }
        LingerUntilClosed();
    }

    // Reads the client's request up to the blank line that ends its header.
    bool ReadHttpRequest()
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            if (!WaitFor(fd_, POLLIN, stopFd_, kHandshakeTimeoutMs))
                return false;
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            request.append(buffer, static_cast<size_t>(got));
            RecordPayload(buffer, static_cast<size_t>(got));
        }
        return true;
    }

    void RecordPayload(const char* data, size_t size)
    {
        fixture_.UpdateRecord(record_, [&](FixtureConnection& c) {
            c.payload.append(data, std::min(size, kMaxRecorded - std::min(kMaxRecorded, c.payload.size())));
        });
    }

    // Ends the sending side, then waits for the client to close its side.
    void LingerUntilClosed()
    {
        shutdown(fd_, SHUT_WR);
        WaitUntilClosed();
    }

    void WaitUntilClosed()
    {
        char buffer[4096];
        while (WaitFor(fd_, POLLIN, stopFd_, -1) && recv(fd_, buffer, sizeof buffer, 0) > 0) {
        }
    }

    void Relay()
    {
        bool clientOpen = true, upstreamOpen = true;
        char buffer[16 * 1024];
        while (clientOpen || upstreamOpen) {
            pollfd fds[3] = {
                {clientOpen ? fd_ : -1, POLLIN, 0}, {upstreamOpen ? upstreamFd_ : -1, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[2].revents)
                return;
            if (fds[0].revents) {
                const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    clientOpen = false;
                    shutdown(upstreamFd_, SHUT_WR);
                } else {
                    RecordPayload(buffer, static_cast<size_t>(got));
                    if (!SendAll(upstreamFd_, stopFd_, buffer, static_cast<size_t>(got)))
                        return;
                }
            }
            if (fds[1].revents) {
                const ssize_t got = recv(upstreamFd_, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    upstreamOpen = false;
                    shutdown(fd_, SHUT_WR);
                } else if (!SendAll(fd_, stopFd_, buffer, static_cast<size_t>(got))) {
                    return;
                }
            }
        }
    }

    SocksFixture& fixture_;
    SocksFixture::Listener& listener_;
    const SocksBehaviour& behaviour_;
    const int fd_;
    const int stopFd_;
    const size_t record_;
    int upstreamFd_ = -1;
};

template <class Change>
void SocksFixture::UpdateRecord(size_t index, Change change)
{
    std::lock_guard<std::mutex> guard(lock_);
    change(records_[index]);
}

SocksFixture::SocksFixture() : stopFd_(eventfd(0, EFD_CLOEXEC)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    acceptor_ = std::thread(&SocksFixture::AcceptLoop, this);
}

SocksFixture::~SocksFixture()
{
    const uint64_t one = 1;
    (void)!write(stopFd_, &one, sizeof one);  // stays readable: every waiter sees it
    acceptor_.join();
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return activeConnections_ == 0; });
    guard.unlock();
    listeners_.clear();
    close(stopFd_);
    close(wakeFd_);
}

int SocksFixture::AddListener(std::unique_ptr<Listener> listener)
{
    listener->fd = OpenLoopbackListener(listener->port);
    if (listener->fd < 0)
        return 0;
    const int port = listener->port;
    {
        std::lock_guard<std::mutex> guard(lock_);
        listeners_.push_back(std::move(listener));
    }
    const uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    return port;
}

int SocksFixture::AddSocks(const SocksBehaviour& behaviour)
{
    auto listener = std::make_unique<Listener>();
    listener->behaviour = behaviour;
    return AddListener(std::move(listener));
}

int SocksFixture::AddPage(const std::string& answer)
{
    auto listener = std::make_unique<Listener>();
    listener->isPage = true;
    listener->pageAnswer = answer.empty() ? HttpAnswer(200, kTestPageBody) : answer;
    return AddListener(std::move(listener));
}

std::string SocksFixture::PageUrl(int port)
{
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

void SocksFixture::AcceptLoop()
{
    std::vector<pollfd> fds;
    std::vector<Listener*> watched;
    for (;;) {
        fds.assign({{stopFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}});
        watched.clear();
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (const auto& listener : listeners_) {
                fds.push_back({listener->fd, POLLIN, 0});
                watched.push_back(listener.get());
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            uint64_t count;
            (void)!read(wakeFd_, &count, sizeof count);
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Listener& listener = *watched[i - 2];
            const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::unique_lock<std::mutex> guard(lock_);
            if (activeConnections_ >= kMaxConnections) {
                close(fd);
                continue;
            }
            ++activeConnections_;
            FixtureConnection record;
            record.port = listener.port;
            record.sequence = static_cast<int>(records_.size());
            records_.push_back(record);
            const size_t index = records_.size() - 1;
            guard.unlock();
            std::thread([this, &listener, fd, index] {
                FixtureSession(*this, listener, fd, index).Run();
                std::lock_guard<std::mutex> done(lock_);
                --activeConnections_;
                changed_.notify_all();
            }).detach();
        }
    }
}

std::vector<FixtureConnection> SocksFixture::Connections(int port) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<FixtureConnection> result;
    for (const auto& record : records_)
        if (record.port == port)
            result.push_back(record);
    return result;
}

std::vector<FixtureConnection> SocksFixture::AllConnections() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

int SocksFixture::ConnectionCount(int port) const
{
    return static_cast<int>(Connections(port).size());
}

bool SocksFixture::WaitForConnections(int port, int count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ConnectionCount(port) < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
