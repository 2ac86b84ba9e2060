#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "browser/relaypump.h"
#include "browser/relaysources.h"
#include "browser/socksprotocol.h"
#include "browser/socksupstream.h"
#include "data/proxy.h"

// What the relay has learnt of one proxy from its answers.
struct ProxyKnowledge {
    int version = 0;       // a proxy of unknown type: 5 or 4 once it answered in that version
    bool noNames = false;  // a SOCKS4 proxy without 4a: names are looked up here
};

class RelaySession;

// The relay's side of its sessions, on the relay's thread.
class SessionOwner {
public:
    virtual ~SessionOwner() = default;
    virtual RelayLoop& Loop() = 0;
    virtual std::vector<char>& Scratch() = 0;
    // The client's request is read: the session goes to the proxy in use (Go),
    // waits for one, or is refused.
    virtual void Dispatch(RelaySession* session) = 0;
    // The proxy of that generation answered, granting or refusing.
    virtual void ProxyAnswered(unsigned generation) = 0;
    // The proxy of that generation failed the session, which is retried or refused.
    virtual void ProxyFailed(RelaySession* session, unsigned generation) = 0;
    virtual ProxyKnowledge& Knowledge(const CProxy& proxy) = 0;
    virtual void TakesNoNames(const CProxy& proxy) = 0;
    // Destroys the session.
    virtual void Close(RelaySession* session) = 0;
    // Asynchronous GIO operations in flight, waited for when the relay stops.
    virtual void AsyncStarted() = 0;
    virtual void AsyncEnded() = 0;
};

// One client connection: its SOCKS handshake (read with a size limit and a
// timeout), the connection through the proxy, and then the relayed bytes.
class RelaySession {
public:
    // Takes the accepted, non-blocking descriptor.
    RelaySession(SessionOwner& owner, int clientFd);
    ~RelaySession();
    RelaySession(const RelaySession&) = delete;
    RelaySession& operator=(const RelaySession&) = delete;

    // Connects through proxy, the one in use in that generation.
    void Go(const CProxy& proxy, unsigned generation);
    // Answers the client with a failure (a SOCKS5 code) and closes the session.
    void Refuse(uint8_t code);
    // Whether a session that met a proxy-level failure may be tried again.
    bool MayRetry(size_t proxyCount) const;

private:
    struct Lookup;
    using Mode = UpstreamAttempt::Mode;

    void OnClientReadable();
    void Attempt(Mode mode);
    void OnAttempt(UpstreamAttempt::Result&& result, Mode mode);
    void LookUpLocally();
    static void OnLookedUp(GObject* resolver, GAsyncResult* result, gpointer lookup);
    void Relay(int upstreamFd, std::string early);

    SessionOwner& owner_;
    int clientFd_;
    std::string in_;  // the handshake so far
    bool greeted_ = false;
    SocksClientRequest request_;
    std::string early_;   // what the client sent after its request
    SocksTarget target_;  // what goes to the proxy: the request's, or the address looked up here
    std::chrono::steady_clock::time_point arrived_;
    int tries_ = 0;
    CProxy proxy_;
    unsigned generation_ = 0;
    bool triedSocks4_ = false;
    bool resolvedHere_ = false;
    Lookup* lookup_ = nullptr;
    FdWatch watch_;
    OneShotTimer handshakeTimer_;
    std::unique_ptr<UpstreamAttempt> attempt_;
    std::unique_ptr<RelayPump> pump_;
};
