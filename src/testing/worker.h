#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <unordered_set>

#include "data/proxy.h"

class CSettingTestItem;

// A pool that runs one short-lived thread per job, never more than maxThreads
// at once. A starter queues proxies, runs the dispatcher, then collects the
// proxies that passed. The availability and speed workers derive from it.
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
    const int maxThreads;               // fixed when the worker is created
    std::atomic<int> activeThreads{0};  // job threads started and not yet ended

    std::mutex countLock;                // guards changes of activeThreads
    std::condition_variable slotChange;  // activeThreads went down

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
// Waits for a free slot, then counts it; false (nothing counted) when the run
// was canceled meanwhile.
bool AcquireSlot(CWorker& worker);
void ReleaseSlot(CWorker& worker);

// The loop both dispatchers share. formJob gives the next job, or an empty
// function when none is left; each job runs on a thread of its own that gives
// its slot back when the job returns. Marks the worker finished at the end.
void DispatchJobs(CWorker& worker, const std::function<std::function<void()>()>& formJob);
