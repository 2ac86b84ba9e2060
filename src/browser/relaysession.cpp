#include "browser/relaysession.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <gio/gio.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr unsigned kHandshakeTimeoutMs = 10000;
// How long a client is kept waiting while the relay looks for a proxy that
// answers; programs give up on a connection after about that long.
constexpr auto kRetryWindow = std::chrono::seconds(30);
constexpr uint8_t kSocksConnectionRefused = 0x05;

void SendSmall(int fd, const std::string& bytes)
{
    // A handshake reply on a connection that has sent nothing back: the
    // socket's buffer takes it whole, or the client is gone.
    if (!bytes.empty())
        (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}
}  // namespace

struct RelaySession::Lookup {
    SessionOwner* owner;
    RelaySession* session;  // null once the session is gone
    GCancellable* cancel;
};

RelaySession::RelaySession(SessionOwner& owner, int clientFd)
    : owner_(owner), clientFd_(clientFd), arrived_(Clock::now()), watch_(owner.Loop(), [this] { OnClientReadable(); }),
      handshakeTimer_(owner.Loop().Context(), [this] { owner_.Close(this); })
{
    watch_.Set(0, clientFd_, G_IO_IN);
    handshakeTimer_.Start(kHandshakeTimeoutMs);
}

RelaySession::~RelaySession()
{
    if (lookup_) {
        lookup_->session = nullptr;
        g_cancellable_cancel(lookup_->cancel);
    }
    watch_.Set(0, -1, GIOCondition(0));
    attempt_.reset();
    pump_.reset();
    if (clientFd_ >= 0)
        close(clientFd_);
}

void RelaySession::OnClientReadable()
{
    char buffer[kMaxClientHandshake];
    const ssize_t got = recv(clientFd_, buffer, kMaxClientHandshake - in_.size(), 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        owner_.Close(this);
        return;
    }
    in_.append(buffer, static_cast<size_t>(got));
    for (;;) {
        const SocksClientRequest request = ParseSocksClientRequest(in_, greeted_);
        switch (request.status) {
        case SocksClientRequest::Status::Incomplete:
            if (in_.size() >= kMaxClientHandshake)
                owner_.Close(this);
            return;
        case SocksClientRequest::Status::Greeting:
            SendSmall(clientFd_, request.reply);
            in_.erase(0, request.consumed);
            greeted_ = true;
            continue;
        case SocksClientRequest::Status::Refused:
            SendSmall(clientFd_, request.reply);
            owner_.Close(this);
            return;
        case SocksClientRequest::Status::Connect:
            request_ = request;
            early_ = in_.substr(request.consumed);
            in_ = std::string();
            handshakeTimer_.Stop();
            watch_.Set(0, clientFd_, GIOCondition(0));  // read again once relaying
            owner_.Dispatch(this);
            return;
        }
    }
}

void RelaySession::Go(const CProxy& proxy, unsigned generation)
{
    proxy_ = proxy;
    generation_ = generation;
    ++tries_;
    triedSocks4_ = false;
    resolvedHere_ = false;
    target_ = request_.target;
    const ProxyKnowledge& knowledge = owner_.Knowledge(proxy);
    const int version = proxy.type == 1 ? 4 : proxy.type >= 2 ? 5 : knowledge.version;
    if (version == 4 && target_.kind == SocksTarget::Kind::Ipv6) {
        Refuse(kSocksAddressNotSupported);
        return;
    }
    if (version == 4 && target_.kind == SocksTarget::Kind::Name && knowledge.noNames) {
        LookUpLocally();
        return;
    }
    Attempt(version == 4 ? Mode::Socks4 : Mode::Socks5);
}

void RelaySession::Attempt(Mode mode)
{
    attempt_ = std::make_unique<UpstreamAttempt>(
        owner_.Loop(), proxy_.ip, proxy_.port, mode, target_, UpstreamAttempt::Timeouts(),
        [this, mode](UpstreamAttempt::Result&& result) { OnAttempt(std::move(result), mode); });
}

void RelaySession::OnAttempt(UpstreamAttempt::Result&& result, Mode mode)
{
    using Kind = UpstreamAttempt::Result::Kind;
    const bool unknownType = proxy_.type == 0;
    ProxyKnowledge& knowledge = owner_.Knowledge(proxy_);
    if (result.kind == Kind::NoAnswer) {
        // A proxy of unknown type that took the connection but no SOCKS5: SOCKS4a.
        if (unknownType && knowledge.version == 0 && mode == Mode::Socks5 && result.reached && !triedSocks4_
            && target_.kind != SocksTarget::Kind::Ipv6) {
            triedSocks4_ = true;
            Attempt(Mode::Socks4);
            return;
        }
        owner_.ProxyFailed(this, generation_);  // retried or refused
        return;
    }
    owner_.ProxyAnswered(generation_);
    if (unknownType)
        knowledge.version = mode == Mode::Socks5 ? 5 : 4;
    if (result.kind == Kind::Granted) {
        if (resolvedHere_)
            owner_.TakesNoNames(proxy_);
        Relay(result.fd, std::move(result.early));
        return;
    }
    // A SOCKS4 proxy that refuses a name may not know SOCKS4a: once more,
    // with the address looked up here.
    if (mode == Mode::Socks4 && target_.kind == SocksTarget::Kind::Name) {
        LookUpLocally();
        return;
    }
    Refuse(mode == Mode::Socks5 ? result.code : kSocksConnectionRefused);
}

void RelaySession::LookUpLocally()
{
    GResolver* resolver = g_resolver_get_default();
    lookup_ = new Lookup{&owner_, this, g_cancellable_new()};
    owner_.AsyncStarted();
    g_resolver_lookup_by_name_with_flags_async(resolver, target_.host.c_str(), G_RESOLVER_NAME_LOOKUP_FLAGS_IPV4_ONLY,
                                               lookup_->cancel, &RelaySession::OnLookedUp, lookup_);
    g_object_unref(resolver);
}

void RelaySession::OnLookedUp(GObject* resolver, GAsyncResult* result, gpointer data)
{
    auto* lookup = static_cast<Lookup*>(data);
    GError* error = nullptr;
    GList* addresses = g_resolver_lookup_by_name_with_flags_finish(G_RESOLVER(resolver), result, &error);
    std::string address;
    if (addresses) {
        gchar* text = g_inet_address_to_string(G_INET_ADDRESS(addresses->data));
        address = text;
        g_free(text);
        g_resolver_free_addresses(addresses);
    }
    if (error)
        g_error_free(error);
    lookup->owner->AsyncEnded();
    RelaySession* session = lookup->session;
    g_object_unref(lookup->cancel);
    delete lookup;
    if (!session)
        return;
    session->lookup_ = nullptr;
    if (address.empty()) {
        session->Refuse(kSocksHostUnreachable);
        return;
    }
    session->target_ = {SocksTarget::Kind::Ipv4, address, session->target_.port};
    session->resolvedHere_ = true;
    session->Attempt(Mode::Socks4);
}

void RelaySession::Relay(int upstreamFd, std::string early)
{
    // The client hears the grant first, then what the proxy sent early.
    early.insert(0, SocksClientReply(request_.version, kSocksGranted));
    pump_ = std::make_unique<RelayPump>(owner_.Loop(), clientFd_, upstreamFd, std::move(early), std::move(early_),
                                        owner_.Scratch(), [this] { owner_.Close(this); });
    clientFd_ = -1;    // the pump's now
    attempt_.reset();  // done (this runs in its report): a held connection keeps no source of it
}

void RelaySession::Refuse(uint8_t code)
{
    SendSmall(clientFd_, SocksClientReply(request_.version, code));
    owner_.Close(this);
}

bool RelaySession::MayRetry(size_t proxyCount) const
{
    // Bounded in tries as well, so that proxies failing at once cannot spin.
    const int maxTries = 3 * static_cast<int>(proxyCount) + 3;
    return Clock::now() - arrived_ < kRetryWindow && tries_ < maxTries;
}
