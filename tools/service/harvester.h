#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/proxy.h"
#include "harvest.h"
#include "sourcefetch.h"

class CountryLookup;
class CWorker;
class ServedList;

struct HarvestSettings {
    std::vector<std::string> sources;
    int intervalSeconds = 1800;
    bool verify = true;
    bool allowPrivate = false;
    int threads = 1000;             // availability check: jobs of five proxies at once
    int timeoutSeconds = 10;        // availability check: the whole fetch through a proxy
    int connectTimeoutSeconds = 5;  // its connect phase (TCP and SOCKS handshake); 0 = the whole timeout
    std::string testUrl;            // page fetched through each proxy
    std::string expect;             // text that page holds
    SourceLimits limits;
    int retrySeconds = 60;  // a failed source is fetched again after this, twice as long each time
    size_t maxProxiesPerRound = 250000;
};

// Harvests the sources again and again on a thread of its own. In a round
// every source is fetched side by side, and each source's proxies are
// tested as soon as that source has ended; every proxy that passes is
// served at once, beside the list served before, so the served list only
// grows while a round runs. When the round has ended its list replaces the
// earlier one (proxies that failed now are dropped). Between rounds a
// source that failed is fetched again after 1, 2, 4, ... minutes, up to the
// interval, and its proxies join the round's list.
class Harvester {
public:
    Harvester(HarvestSettings settings, const CountryLookup& countries, ServedList& served);
    ~Harvester();  // stops
    Harvester(const Harvester&) = delete;
    Harvester& operator=(const Harvester&) = delete;

    // Starts the harvest thread: a round at once, then one every interval.
    void Start();
    // Ends the round under way and the thread.
    void Stop();
    // One round on the caller's thread; returns the number of proxies served
    // afterwards, or -1 when the round was stopped or every source failed and
    // the earlier list stays.
    int RunRound();
    // Waits an interval, fetching failed sources again when they are due;
    // false when stopped.
    bool WaitForNextRound();
    // "key: value" lines: state, rounds, served, passed (so far in this
    // round), retrying, the last round's figures, the sources configured,
    // and what the round under way found so far.
    std::string Status() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Retry {
        std::string source;
        Clock::time_point due;
        int delaySeconds;
    };

    // Fetches sources and tests their proxies as each source ends, serving
    // what passes as it passes; the sources that failed go to failed.
    // False when stopped.
    bool Collect(const std::vector<std::string>& sources, std::vector<std::string>& failed);
    // Serves the round's proxies, with those of the earlier list until the
    // round has replaced it. Under lock_.
    void PublishLocked();

    const HarvestSettings settings_;
    const CountryLookup& countries_;
    ServedList& served_;

    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;  // guards the fields below
    std::condition_variable wake_;
    CWorker* activeWorker_ = nullptr;
    bool busy_ = false;
    int rounds_ = 0;
    HarvestCounts lastCounts_;
    std::unique_ptr<HarvestMerge> merge_;  // the round's, kept for its retries
    CProxyList roundPassed_;               // passed in this round and its retries
    CProxyList previous_;                  // served when the round began
    CProxyList current_;                   // served now
    bool replaced_ = false;                // the round has ended and replaced previous_
    std::vector<Retry> retries_;
    std::thread thread_;
};
