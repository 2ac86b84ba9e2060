#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <gio/gio.h>

#include "browser/relaysession.h"
#include "browser/socksrelay.h"

// What the relay's thread and its owner's threads share, under lock.
struct RelayShared {
    std::mutex lock;
    std::vector<CProxy> upstreams;
    CProxy current;
    CSocksRelay::EventHandler handler;
    CSocksRelay::OwnerLookup ownerLookup;
};

// Everything that lives on the relay's thread: the accept loop, the
// sessions, and the choice of the proxy in use.
class RelayCore final : public SessionOwner {
public:
    // Takes the listener's reference.
    RelayCore(RelayShared& shared, RelayLoop& loop, GSocketListener* listener, int port,
              CSocksRelay::OwnerLookup lookup);
    ~RelayCore() override;

    // Accepts and relays until loop quits, then closes everything.
    void Run(GMainLoop* loop);
    // Takes the list SetUpstreams stored.
    void ApplyUpstreams();

    // SessionOwner
    RelayLoop& Loop() override { return loop_; }
    std::vector<char>& Scratch() override { return scratch_; }
    void Dispatch(RelaySession* session) override;
    void ProxyAnswered(unsigned generation) override;
    void ProxyFailed(RelaySession* session, unsigned generation) override;
    ProxyKnowledge& Knowledge(const CProxy& proxy) override;
    void TakesNoNames(const CProxy& proxy) override;
    void Close(RelaySession* session) override;
    void AsyncStarted() override { ++pendingAsync_; }
    void AsyncEnded() override { --pendingAsync_; }

private:
    enum class State { Active, Probing, NoneAnswer };

    void Accept();
    static void OnAccepted(GObject* listener, GAsyncResult* result, gpointer self);
    void TakeClient(GSocket* socket);
    void StartProbe(std::vector<size_t> candidates, bool recovering);
    void ProbeNext(bool socks4);
    void FinishProbe(size_t found);
    void Fire(RelayEvent::Kind kind, const CProxy& from, const CProxy& to);
    void Publish();

    RelayShared& shared_;
    GMainContext* context_;
    RelayLoop& loop_;
    GSocketListener* listener_;
    int port_;
    CSocksRelay::OwnerLookup ownerLookup_;
    GCancellable* acceptCancel_;
    OneShotTimer retryAccept_;
    std::vector<char> scratch_;
    int pendingAsync_ = 0;
    bool stopping_ = false;
    std::unordered_map<RelaySession*, std::unique_ptr<RelaySession>> sessions_;

    std::vector<CProxy> upstreams_;
    size_t current_ = 0;
    int failures_ = 0;
    unsigned generation_ = 0;  // counts changes of the proxy in use
    State state_ = State::Active;
    std::chrono::steady_clock::time_point lastProbe_;
    std::vector<size_t> probeOrder_;
    size_t probeNext_ = 0;
    bool recovering_ = false;
    std::unique_ptr<UpstreamAttempt> probe_;
    std::vector<RelaySession*> waiting_;  // sessions held while the list is probed
    std::map<std::string, ProxyKnowledge> knowledge_;
};
