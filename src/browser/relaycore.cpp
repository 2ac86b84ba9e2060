#include "browser/relaycore.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "service/socketowner.h"

namespace {
using Clock = std::chrono::steady_clock;

// Failover: a proxy is given up after this many proxy-level failures in a
// row (see RelayCore::ProxyFailed for what counts).
constexpr int kFailuresToGiveUp = 3;
// With none answering, the list is probed again at most this often.
constexpr auto kReprobeInterval = std::chrono::seconds(10);
constexpr size_t kNone = static_cast<size_t>(-1);
constexpr size_t kScratchSize = 256 * 1024;

std::string ProxyKey(const CProxy& proxy)
{
    return std::string(proxy.ip) + ":" + std::to_string(proxy.port);
}
}  // namespace

RelayCore::RelayCore(RelayShared& shared, RelayLoop& loop, GSocketListener* listener, int port,
                     CSocksRelay::OwnerLookup lookup)
    : shared_(shared), context_(loop.Context()), loop_(loop), listener_(listener), port_(port),
      ownerLookup_(std::move(lookup)), acceptCancel_(g_cancellable_new()), retryAccept_(context_, [this] { Accept(); }),
      scratch_(kScratchSize)
{}

RelayCore::~RelayCore()
{
    g_object_unref(acceptCancel_);
    g_object_unref(listener_);
}

ProxyKnowledge& RelayCore::Knowledge(const CProxy& proxy)
{
    return knowledge_[ProxyKey(proxy)];
}

void RelayCore::Run(GMainLoop* loop)
{
    g_main_context_push_thread_default(context_);
    {
        std::lock_guard<std::mutex> guard(shared_.lock);
        upstreams_ = shared_.upstreams;
    }
    Accept();
    g_main_loop_run(loop);
    // Stop: cancel what is pending, close every connection, then let the
    // cancelled operations report, so that none is left holding memory.
    stopping_ = true;
    g_cancellable_cancel(acceptCancel_);
    retryAccept_.Stop();
    probe_.reset();
    waiting_.clear();
    sessions_.clear();
    while (pendingAsync_ > 0)
        g_main_context_iteration(context_, TRUE);
    g_socket_listener_close(listener_);
    g_main_context_pop_thread_default(context_);
}

void RelayCore::Accept()
{
    AsyncStarted();
    g_socket_listener_accept_socket_async(listener_, acceptCancel_, &RelayCore::OnAccepted, this);
}

void RelayCore::OnAccepted(GObject* listener, GAsyncResult* result, gpointer self)
{
    auto* core = static_cast<RelayCore*>(self);
    core->AsyncEnded();
    GError* error = nullptr;
    GSocket* socket = g_socket_listener_accept_socket_finish(G_SOCKET_LISTENER(listener), result, nullptr, &error);
    if (!socket) {
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        g_error_free(error);
        if (!cancelled && !core->stopping_)
            core->retryAccept_.Start(100);  // out of descriptors, say: try again shortly
        return;
    }
    if (core->stopping_) {
        g_object_unref(socket);  // accepted just before the relay stopped
        return;
    }
    core->TakeClient(socket);
    g_object_unref(socket);
    if (!core->stopping_)
        core->Accept();
}

void RelayCore::TakeClient(GSocket* socket)
{
    // The relay works on plain descriptors; the GSocket closes its own.
    const int fd = fcntl(g_socket_get_fd(socket), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    char peerIp[INET_ADDRSTRLEN] = {};
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET
        || !inet_ntop(AF_INET, &peer.sin_addr, peerIp, sizeof peerIp)) {
        close(fd);
        return;
    }
    const LocalConnection connection{"127.0.0.1", port_, peerIp, ntohs(peer.sin_port)};
    const std::optional<uid_t> owner = ownerLookup_(connection);
    if (!owner || *owner != getuid()) {
        close(fd);  // another user's program, or one the tables do not show
        return;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto session = std::make_unique<RelaySession>(*this, fd);
    sessions_.emplace(session.get(), std::move(session));
}

void RelayCore::Close(RelaySession* session)
{
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), session), waiting_.end());
    sessions_.erase(session);
}

void RelayCore::Dispatch(RelaySession* session)
{
    if (upstreams_.empty()) {
        session->Refuse(kSocksGeneralFailure);  // nothing ever goes direct
        return;
    }
    if (state_ == State::NoneAnswer) {
        if (Clock::now() - lastProbe_ < kReprobeInterval) {
            session->Refuse(kSocksGeneralFailure);
            return;
        }
        std::vector<size_t> all(upstreams_.size());
        for (size_t i = 0; i < all.size(); ++i)
            all[i] = i;
        StartProbe(std::move(all), true);
    }
    if (state_ == State::Probing) {
        waiting_.push_back(session);
        return;
    }
    session->Go(upstreams_[current_], generation_);
}

void RelayCore::ProxyAnswered(unsigned generation)
{
    if (generation == generation_)
        failures_ = 0;
}

// A proxy-level failure is a TCP connection to the proxy refused or not made
// in 5 s, or no or a malformed SOCKS answer in 10 s. A working proxy that
// refuses one destination (SOCKS5 codes 2 to 8, SOCKS4 0x5B) is no such
// failure: the destination is at fault, and another proxy would most likely
// refuse it too. Three failures in a row, with no answer in between, give
// the proxy up: one failure can be a dropped packet, three a proxy gone.
// The session met the failure before its client was answered, so it is
// tried again on the proxy in use now, for as long as a program would wait.
void RelayCore::ProxyFailed(RelaySession* session, unsigned generation)
{
    if (generation == generation_ && state_ == State::Active && ++failures_ >= kFailuresToGiveUp) {
        std::vector<size_t> others;
        for (size_t i = 1; i < upstreams_.size(); ++i)
            others.push_back((current_ + i) % upstreams_.size());
        StartProbe(std::move(others), false);
    }
    if (session->MayRetry(upstreams_.size()))
        Dispatch(session);
    else
        session->Refuse(kSocksGeneralFailure);
}

void RelayCore::StartProbe(std::vector<size_t> candidates, bool recovering)
{
    state_ = State::Probing;
    lastProbe_ = Clock::now();
    recovering_ = recovering;
    probeOrder_ = std::move(candidates);
    probeNext_ = 0;
    ProbeNext(false);
}

// A probe is the cheapest exchange that shows a proxy answers in its SOCKS
// version: the SOCKS5 greeting, or a SOCKS4 request no proxy grants.
void RelayCore::ProbeNext(bool socks4)
{
    if (probeNext_ >= probeOrder_.size()) {
        FinishProbe(kNone);
        return;
    }
    const size_t index = probeOrder_[probeNext_];
    const CProxy& proxy = upstreams_[index];
    const bool unknown = proxy.type == 0;
    socks4 = socks4 || proxy.type == 1 || (unknown && Knowledge(proxy).version == 4);
    const UpstreamAttempt::Timeouts timeouts;
    probe_ = std::make_unique<UpstreamAttempt>(
        loop_, proxy.ip, proxy.port, socks4 ? UpstreamAttempt::Mode::Probe4 : UpstreamAttempt::Mode::Probe5,
        SocksTarget{}, timeouts, [this, index, socks4, unknown](UpstreamAttempt::Result&& result) {
            if (result.kind == UpstreamAttempt::Result::Kind::Granted) {
                FinishProbe(index);
                return;
            }
            if (unknown && !socks4 && result.reached) {
                ProbeNext(true);  // no SOCKS5 there: perhaps SOCKS4
                return;
            }
            ++probeNext_;
            ProbeNext(false);
        });
}

void RelayCore::FinishProbe(size_t found)
{
    probe_.reset();
    const CProxy from = upstreams_[current_];
    if (found != kNone) {
        current_ = found;
        failures_ = 0;
        ++generation_;
        state_ = State::Active;
        Publish();
        Fire(recovering_ ? RelayEvent::Kind::Recovered : RelayEvent::Kind::Switched, from, upstreams_[current_]);
    } else {
        state_ = State::NoneAnswer;
        if (!recovering_)
            Fire(RelayEvent::Kind::NoneAnswers, from, CProxy());
    }
    std::vector<RelaySession*> waiting;
    waiting.swap(waiting_);
    for (RelaySession* session : waiting) {
        if (session->MayRetry(upstreams_.size()))
            Dispatch(session);
        else
            session->Refuse(kSocksGeneralFailure);  // its program has given up by now
    }
}

void RelayCore::ApplyUpstreams()
{
    {
        std::lock_guard<std::mutex> guard(shared_.lock);
        upstreams_ = shared_.upstreams;
    }
    current_ = 0;
    failures_ = 0;
    ++generation_;
    state_ = State::Active;
    probe_.reset();
    for (auto it = knowledge_.begin(); it != knowledge_.end();)
        it =
            std::any_of(upstreams_.begin(), upstreams_.end(), [&](const CProxy& p) { return ProxyKey(p) == it->first; })
                ? std::next(it)
                : knowledge_.erase(it);
    std::vector<RelaySession*> waiting;
    waiting.swap(waiting_);
    for (RelaySession* session : waiting)
        Dispatch(session);
}

void RelayCore::TakesNoNames(const CProxy& proxy)
{
    ProxyKnowledge& knowledge = Knowledge(proxy);
    if (knowledge.noNames)
        return;
    knowledge.noNames = true;
    Fire(RelayEvent::Kind::ResolvingNamesLocally, CProxy(), proxy);
}

void RelayCore::Fire(RelayEvent::Kind kind, const CProxy& from, const CProxy& to)
{
    CSocksRelay::EventHandler handler;
    {
        std::lock_guard<std::mutex> guard(shared_.lock);
        handler = shared_.handler;
    }
    RelayEvent event;
    event.kind = kind;
    event.from = from;
    event.to = to;
    if (handler)
        handler(event);
}

void RelayCore::Publish()
{
    std::lock_guard<std::mutex> guard(shared_.lock);
    shared_.current = upstreams_.empty() ? CProxy() : upstreams_[current_];
}
