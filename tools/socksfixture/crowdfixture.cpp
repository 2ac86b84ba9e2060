#include "crowdfixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const std::string& PageAnswer()
{
    static const std::string body = "<html><body>A small search engine test page.</body></html>";
    static const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                      + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return answer;
}

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A socket bound to a free port on 127.0.0.1, listening unless listens is false.
int OpenLoopbackPort(bool listens, int& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (listens && listen(fd, SOMAXCONN) != 0)
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}
}  // namespace

// What an epoll entry points at.
struct Tag {
    enum What { Stop, Listener, Client, Upstream } what;
    void* object;
};

struct CrowdFixture::Port {
    Kind kind = Kind::Relay;
    bool isPage = false;
    int delayMs = 0;
    int fd = -1;
    int number = 0;
    int accepted = 0;  // under lock
    int open = 0;      // under lock
    Tag tag{Tag::Listener, this};
};

struct CrowdFixture::Session {
    enum class State { Handshake, Delaying, Connecting, Relaying, Holding };
    explicit Session(Port& owner, int socket) : port(owner), fd(socket) {}
    Port& port;
    int fd;
    int upstream = -1;
    State state = State::Handshake;
    std::string request;               // SOCKS bytes read so far
    std::string toClient, toUpstream;  // bytes waiting for the other side
    bool clientEnded = false, upstreamEnded = false;
    sockaddr_in target{};
    bool timerSet = false;
    std::multimap<long long, Session*>::iterator timer;
    Tag clientTag{Tag::Client, this};
    Tag upstreamTag{Tag::Upstream, this};
};

CrowdFixture::CrowdFixture() : epollFd_(epoll_create1(EPOLL_CLOEXEC)), stopFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    static Tag stopTag{Tag::Stop, nullptr};
    Watch(stopFd_, &stopTag, EPOLLIN, true);
    server_ = std::thread(&CrowdFixture::Serve, this);
}

CrowdFixture::~CrowdFixture()
{
    const uint64_t one = 1;
    (void)!write(stopFd_, &one, sizeof one);
    server_.join();
    while (!sessions_.empty())
        Close(*sessions_.begin()->first);
    for (const auto& port : ports_)
        close(port->fd);
    close(stopFd_);
    close(epollFd_);
}

int CrowdFixture::AddPort(std::unique_ptr<Port> port)
{
    port->fd = OpenLoopbackPort(port->isPage || port->kind != Kind::Refuse, port->number);
    if (port->fd < 0)
        return 0;
    const int number = port->number;
    Port* added = port.get();
    {
        std::lock_guard<std::mutex> guard(lock_);
        ports_.push_back(std::move(port));
    }
    if (added->isPage || added->kind != Kind::Refuse)
        Watch(added->fd, &added->tag, EPOLLIN, true);
    return number;
}

int CrowdFixture::AddProxy(Kind kind, int delayMs)
{
    auto port = std::make_unique<Port>();
    port->kind = kind;
    port->delayMs = delayMs;
    return AddPort(std::move(port));
}

int CrowdFixture::AddPage()
{
    auto port = std::make_unique<Port>();
    port->isPage = true;
    return AddPort(std::move(port));
}

int CrowdFixture::Accepted(int number) const
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& port : ports_)
        if (port->number == number)
            return port->accepted;
    return 0;
}

int CrowdFixture::PeakBusyPorts() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return peakBusyPorts_;
}

void CrowdFixture::Watch(int fd, void* tag, uint32_t events, bool add)
{
    epoll_event event = {};
    event.events = events;
    event.data.ptr = tag;
    epoll_ctl(epollFd_, add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
}

void CrowdFixture::Serve()
{
    epoll_event events[256];
    for (;;) {
        const int ready = epoll_wait(epollFd_, events, 256, NextTimerMs());
        for (int i = 0; i < ready; ++i) {
            const Tag& tag = *static_cast<Tag*>(events[i].data.ptr);
            if (tag.what == Tag::Stop)
                return;
            if (tag.what == Tag::Listener) {
                Accept(*static_cast<Port*>(tag.object));
                continue;
            }
            auto* session = static_cast<Session*>(tag.object);
            // A session closed earlier in this round has no entry any more.
            if (!sessions_.count(session))
                continue;
            const bool upstream = tag.what == Tag::Upstream;
            if (events[i].events & (EPOLLOUT | EPOLLERR))
                OnWritable(*session, upstream);
            if (sessions_.count(session) && (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
                OnReadable(*session, upstream);
        }
        RunDueTimers();
        closedThisRound_.clear();
    }
}

void CrowdFixture::Accept(Port& port)
{
    for (;;) {
        const int fd = accept4(port.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        auto session = std::make_unique<Session>(port, fd);
        Session& added = *session;
        sessions_.emplace(&added, std::move(session));
        if (!port.isPage) {
            std::lock_guard<std::mutex> guard(lock_);
            ++port.accepted;
            if (port.open++ == 0)
                peakBusyPorts_ = std::max(peakBusyPorts_, ++busyPorts_);
        }
        if (port.isPage) {
            // The answer is small enough for the socket buffer of a new connection.
            (void)!send(fd, PageAnswer().data(), PageAnswer().size(), MSG_NOSIGNAL);
            shutdown(fd, SHUT_WR);
        }
        added.state = port.isPage || port.kind == Kind::Silent ? Session::State::Holding : Session::State::Handshake;
        Watch(fd, &added.clientTag, EPOLLIN, true);
    }
}

void CrowdFixture::OnReadable(Session& session, bool upstream)
{
    if (session.state == Session::State::Relaying) {
        Relay(session, upstream);
        return;
    }
    char buffer[512];
    const ssize_t got = recv(session.fd, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        Close(session);  // the client left
        return;
    }
    if (got < 0 || session.state != Session::State::Handshake)
        return;  // a held connection reads and forgets; a waiting one ignores early bytes
    session.request.append(buffer, static_cast<size_t>(got));
    HandleRequest(session);
}

void CrowdFixture::HandleRequest(Session& session)
{
    const std::string& r = session.request;
    if (r[0] == 5) {
        // Greeting VER NMETHODS METHODS: this proxy speaks SOCKS4 only.
        if (session.port.kind == Kind::RelayHoldingSocks5) {
            session.state = Session::State::Holding;
        } else if (r.size() >= 2 && r.size() >= 2u + static_cast<unsigned char>(r[1])) {
            (void)!send(session.fd, "\x05\xFF", 2, MSG_NOSIGNAL);
            Close(session);
        }
        return;
    }
    // VN CD DSTPORT DSTIP USERID NUL
    if (r[0] != 4 || r.size() > 300) {
        Close(session);
        return;
    }
    if (r.size() < 9 || r.find('\0', 8) == std::string::npos)
        return;
    session.target.sin_family = AF_INET;
    std::memcpy(&session.target.sin_port, r.data() + 2, 2);
    std::memcpy(&session.target.sin_addr, r.data() + 4, 4);
    const bool loopback = (ntohl(session.target.sin_addr.s_addr) >> 24) == 127;
    if (r[1] != 1 || !loopback) {
        const char reject[8] = {0, 0x5B};
        (void)!send(session.fd, reject, sizeof reject, MSG_NOSIGNAL);
        Close(session);
        return;
    }
    session.state = Session::State::Delaying;
    session.timer = timers_.emplace(NowMs() + session.port.delayMs, &session);
    session.timerSet = true;
}

void CrowdFixture::RunDueTimers()
{
    const long long now = NowMs();
    while (!timers_.empty() && timers_.begin()->first <= now) {
        Session& session = *timers_.begin()->second;
        timers_.erase(timers_.begin());
        session.timerSet = false;
        ConnectUpstream(session);
    }
}

int CrowdFixture::NextTimerMs() const
{
    if (timers_.empty())
        return -1;
    return static_cast<int>(std::max(0LL, timers_.begin()->first - NowMs()));
}

void CrowdFixture::ConnectUpstream(Session& session)
{
    session.upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (session.upstream < 0
        || (connect(session.upstream, reinterpret_cast<const sockaddr*>(&session.target), sizeof session.target) != 0
            && errno != EINPROGRESS)) {
        Close(session);
        return;
    }
    session.state = Session::State::Connecting;
    Watch(session.upstream, &session.upstreamTag, EPOLLOUT, true);
}

void CrowdFixture::OnWritable(Session& session, bool upstream)
{
    if (session.state == Session::State::Connecting && upstream) {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(session.upstream, SOL_SOCKET, SO_ERROR, &error, &length);
        char reply[8] = {0, static_cast<char>(error ? 0x5B : 0x5A)};
        std::memcpy(reply + 2, session.request.data() + 2, 6);
        (void)!send(session.fd, reply, sizeof reply, MSG_NOSIGNAL);
        if (error) {
            Close(session);
            return;
        }
        session.state = Session::State::Relaying;
        Rearm(session);
        return;
    }
    if (session.state != Session::State::Relaying)
        return;
    std::string& pending = upstream ? session.toUpstream : session.toClient;
    const int fd = upstream ? session.upstream : session.fd;
    const ssize_t sent = send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno != EAGAIN) {
        Close(session);
        return;
    }
    pending.erase(0, sent > 0 ? static_cast<size_t>(sent) : 0);
    if (pending.empty() && (upstream ? session.clientEnded : session.upstreamEnded))
        shutdown(fd, SHUT_WR);
    Rearm(session);
}

void CrowdFixture::Rearm(Session& session)
{
    if (session.clientEnded && session.upstreamEnded && session.toClient.empty() && session.toUpstream.empty()) {
        Close(session);
        return;
    }
    Watch(session.fd, &session.clientTag,
          (session.clientEnded ? 0u : EPOLLIN) | (session.toClient.empty() ? 0u : EPOLLOUT), false);
    Watch(session.upstream, &session.upstreamTag,
          (session.upstreamEnded ? 0u : EPOLLIN) | (session.toUpstream.empty() ? 0u : EPOLLOUT), false);
}

void CrowdFixture::Relay(Session& session, bool fromUpstream)
{
    const int from = fromUpstream ? session.upstream : session.fd;
    const int to = fromUpstream ? session.fd : session.upstream;
    std::string& pending = fromUpstream ? session.toClient : session.toUpstream;
    bool& ended = fromUpstream ? session.upstreamEnded : session.clientEnded;
    char buffer[16 * 1024];
    const ssize_t got = recv(from, buffer, sizeof buffer, 0);
    if (got < 0) {
        if (errno != EAGAIN && errno != EINTR)
            Close(session);
        return;
    }
    if (got == 0) {
        if (!ended && pending.empty())
            shutdown(to, SHUT_WR);
        ended = true;
    } else {
        pending.append(buffer, static_cast<size_t>(got));
    }
    Rearm(session);
}

void CrowdFixture::Close(Session& session)
{
    if (session.timerSet)
        timers_.erase(session.timer);
    close(session.fd);
    if (session.upstream >= 0)
        close(session.upstream);
    if (!session.port.isPage) {
        std::lock_guard<std::mutex> guard(lock_);
        if (--session.port.open == 0)
            --busyPorts_;
    }
    // Freed only after this round of events: a later event of the round may
    // still point at the session's tags.
    auto entry = sessions_.find(&session);
    closedThisRound_.push_back(std::move(entry->second));
    sessions_.erase(entry);
}
