#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "data/proxy.h"
#include "testing/testjob.h"

class CSettingTestItem;

// A pool that runs jobs side by side, never more than maxThreads at once. A
// starter queues proxies, runs the dispatcher, then collects the proxies that
// passed. The dispatcher thread runs every job's transfers itself on one
// libcurl multi handle, so a thousand jobs in flight cost no thread each.
// The availability and speed workers derive from it.
class CWorker {
public:
    // testSettings: the test section the jobs read when they start; nullptr
    // means the process-wide settings. It must outlive every run.
    explicit CWorker(int maxThreads, const CSettingTestItem* testSettings = nullptr);
    virtual ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // The test section for a job starting now, or nullptr when none is loaded.
    const CSettingTestItem* TestSettings() const;

    std::atomic<bool> running{false};   // the dispatcher may go on; cleared by a cancel
    std::atomic<bool> finished{false};  // the dispatcher's very last step
    const int maxThreads;               // most jobs in flight at once; fixed at creation
    std::atomic<int> activeThreads{0};  // jobs started and not yet ended

    std::mutex countLock;  // guards changes of activeThreads

    // Every proxy accepted since the last ResetLists, with an index so that
    // duplicate suppression stays constant time per proxy.
    CProxyList knownProxies;
    CProxyList pendingProxies;  // waiting to be dispatched, oldest first
    std::mutex pendingLock;     // guards the two lists above and the index

    CProxyList passedProxies;  // in the order their jobs ended
    std::mutex passedLock;

    std::mutex finishLock;  // with finishedChange, lets starters wait for finished
    std::condition_variable finishedChange;

private:
    struct IdentityHash {
        size_t operator()(const CProxy* proxy) const;
    };
    struct IdentityEqual {
        bool operator()(const CProxy* a, const CProxy* b) const { return *a == *b; }
    };
    std::unordered_set<const CProxy*, IdentityHash, IdentityEqual> knownIndex;
    const CSettingTestItem* testSettings;

    friend void AddProxies(CWorker&, const CProxyList&);
    friend void ResetLists(CWorker&);
};

// Queues the proxies not seen since the last ResetLists; the first occurrence wins.
void AddProxies(CWorker& worker, const CProxyList& list);
// Removes the oldest pending proxy into out; false when none is pending.
bool TakeNext(CWorker& worker, CProxy& out);
// Replaces list with the passed proxies in order and empties them in the worker.
void TakeResults(CWorker& worker, CProxyList& list);
// Forgets known, pending and passed proxies.
void ResetLists(CWorker& worker);

// Starts the dispatcher (unless one is already at work) and returns once it
// has finished; running is cleared afterwards.
void RunDispatcher(CWorker& worker, void (*dispatcher)(CWorker&));
// Counts a job started, or gives its slot back once it has finished.
void AcquireSlot(CWorker& worker);
void ReleaseSlot(CWorker& worker);

// The loop both dispatchers share. formJob gives the next job, or nullptr when
// none is left; jobs start while running is set and a slot is free, and run
// on this thread's transfer loop until each has ended, passed its deadline,
// or the test is canceled (then every job is finished with what it has).
// Marks the worker finished once every started job has finished.
using JobFormer = std::function<std::unique_ptr<CTestJob>()>;
void DispatchJobs(CWorker& worker, const JobFormer& formJob);
