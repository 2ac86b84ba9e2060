#pragma once

#include <atomic>
#include <condition_variable>
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
    int threads = 50;         // availability check: jobs at once
    int timeoutSeconds = 10;  // availability check: per proxy
    std::string testUrl;      // page fetched through each proxy
    std::string expect;       // text that page holds
    SourceLimits limits;
};

// Harvests the sources again and again on a thread of its own: fetch, merge
// and filter, test with the program's availability check, then publish the
// proxies that passed to the served list in one swap.
class Harvester {
public:
    Harvester(HarvestSettings settings, const CountryLookup& countries, ServedList& served);
    ~Harvester();  // stops
    Harvester(const Harvester&) = delete;
    Harvester& operator=(const Harvester&) = delete;

    // Starts the harvest thread: a round at once, then one every interval.
    void Start();
    // Ends the round under way (its result is not published) and the thread.
    void Stop();
    // One round on the caller's thread; returns the number of proxies served
    // afterwards, or -1 when the round was stopped or every source failed and
    // the earlier list stays.
    int RunRound();
    // "key: value" lines: state, rounds, served, the last round's figures, the
    // sources configured, and what the round under way found so far.
    std::string Status() const;

private:
    // Tests list in place with the availability check; false when stopped.
    bool Verify(CProxyList& list);

    const HarvestSettings settings_;
    const CountryLookup& countries_;
    ServedList& served_;

    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;  // guards the fields below
    std::condition_variable wake_;
    CWorker* activeWorker_ = nullptr;
    bool busy_ = false;
    int rounds_ = 0;
    int lastPassed_ = 0;
    int found_ = 0;  // proxies the round under way is testing
    HarvestCounts lastCounts_;
    std::thread thread_;
};
