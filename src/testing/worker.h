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
class CTransferLoop;

// Thread count for a process-wide worker: the settings' "Test Thread Count"
// when the settings are loaded, else its default.
int ConfiguredThreadCount();

// Told how a test run goes. Called from the worker's dispatcher thread and
// from the thread that runs the test, never from the caller's own: a window
// queues the calls to its thread.
class ITestProgressListener {
public:
    virtual ~ITestProgressListener() = default;
    // count more proxies have been tested.
    virtual void OnProgress(int count) = 0;
    // The run has ended; the list holds what passed.
    virtual void OnComplete() = 0;
};

// A pool that runs jobs side by side, never more than MaxThreads() at once.
// A starter queues proxies, runs the dispatcher, then collects the proxies
// that passed. The dispatcher thread runs every job's transfers itself on one
// transfer loop, so a thousand jobs in flight cost no thread each. The
// availability and speed workers derive from it and form its jobs.
class CWorker {
public:
    // testSettings: the test section the jobs read when they start; nullptr
    // means the process-wide settings. It must outlive every run.
    explicit CWorker(int maxThreads, const CSettingTestItem* testSettings = nullptr);
    virtual ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // The test section for a job starting now.
    const CSettingTestItem& TestSettings() const;
    // Most jobs in flight at once; fixed at creation.
    int MaxThreads() const { return maxThreads_; }
    // Jobs started and not yet ended.
    int ActiveJobs() const { return activeJobs_; }
    // The dispatcher may go on; cleared by a cancel and at the end of a run.
    bool Running() const { return running_; }
    // The dispatcher's very last step has been taken.
    bool Finished() const { return finished_; }

    // Queues the proxies not seen since the last ResetLists; the first occurrence wins.
    // Wakes a dispatcher that waits at an open intake.
    void AddProxies(const CProxyList& list);
    // While the intake is open, a dispatcher that has run out of pending
    // proxies waits for more instead of ending, so a starter can feed
    // proxies as they arrive into one run. Closing it lets the run end once
    // the pending proxies are done.
    void OpenIntake();
    void CloseIntake();
    // Removes the oldest pending proxy into out; false when none is pending.
    bool TakeNext(CProxy& out);
    // Keeps a proxy that passed (any thread).
    void AddPassed(const CProxy& proxy);
    // Replaces list with the passed proxies in order and empties them here.
    void TakeResults(CProxyList& list);
    // Forgets known, pending and passed proxies.
    void ResetLists();
    size_t KnownCount() const;
    size_t PendingCount() const;
    size_t PassedCount() const;

    // Starts the dispatcher on a thread of its own (unless one is already at
    // work) and returns once it has finished; Running() is false afterwards.
    void RunDispatcher();
    // The dispatcher starts no more jobs and the transfers under way end at
    // once. A cancel that comes before the dispatcher starts is kept for it.
    void Cancel();
    bool Canceled() const { return canceled_; }
    // Takes back a cancel, for the next run.
    void ClearCancel() { canceled_ = false; }

    // Where the progress of the coming runs goes; nullptr for nowhere.
    void SetProgressListener(ITestProgressListener* listener) { listener_ = listener; }
    void ReportProgress(int count);
    void ReportComplete();

protected:
    // The dispatcher thread's work: runs the jobs with DispatchJobs.
    virtual void Dispatch() = 0;

    // The loop both dispatchers share. formJob gives the next job, or nullptr
    // when none is left; jobs start while the run goes on and a slot is free,
    // and run on this thread's transfer loop until each has ended, passed its
    // deadline, or the test is canceled (then every job is finished with what
    // it has). Marks the worker finished once every started job has finished.
    using JobFormer = std::function<std::unique_ptr<CTestJob>()>;
    void DispatchJobs(const JobFormer& formJob);

private:
    class JobsInFlight;
    void MarkFinished();
    void WakeDispatcher();

    struct IdentityHash {
        size_t operator()(const CProxy* proxy) const;
    };
    struct IdentityEqual {
        bool operator()(const CProxy* a, const CProxy* b) const { return *a == *b; }
    };

    const int maxThreads_;
    const CSettingTestItem* const testSettings_;
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> canceled_{false};
    std::atomic<int> activeJobs_{0};
    std::atomic<ITestProgressListener*> listener_{nullptr};
    std::atomic<bool> intakeOpen_{false};

    // Every proxy accepted since the last ResetLists, with an index so that
    // duplicate suppression stays constant time per proxy. The index points
    // into knownProxies_, whose nodes never move.
    mutable std::mutex pendingLock_;
    CProxyList knownProxies_;
    std::unordered_set<const CProxy*, IdentityHash, IdentityEqual> knownIndex_;
    CProxyList pendingProxies_;              // waiting to be dispatched, oldest first
    CTransferLoop* dispatchLoop_ = nullptr;  // the running dispatcher's loop

    mutable std::mutex passedLock_;
    CProxyList passedProxies_;  // in the order their jobs ended

    // Lets starters wait for finished_.
    std::mutex finishLock_;
    std::condition_variable finishedChange_;
};
