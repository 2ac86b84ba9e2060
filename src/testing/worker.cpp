#include "testing/worker.h"

#include <queue>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "settings/setting.h"
#include "testing/testflags.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

CWorker::CWorker(int maxThreads, const CSettingTestItem* testSettings)
    : maxThreads(maxThreads > 0 ? maxThreads : 1), testSettings(testSettings)
{
}

CWorker::~CWorker() = default;

const CSettingTestItem* CWorker::TestSettings() const
{
    if (testSettings)
        return testSettings;
    CSetting& setting = GetSetting();
    return setting.IsLoaded() ? setting.GetTestItem() : nullptr;
}

size_t CWorker::IdentityHash::operator()(const CProxy* proxy) const
{
    return std::hash<std::string_view>()(proxy->ip) * 31 + static_cast<size_t>(proxy->port);
}

void AddProxies(CWorker& worker, const CProxyList& list)
{
    std::lock_guard<std::mutex> lock(worker.pendingLock);
    for (const CProxy& proxy : list) {
        if (worker.knownIndex.count(&proxy))
            continue;
        // The index points into knownProxies, whose nodes never move.
        worker.knownProxies.push_back(proxy);
        worker.knownIndex.insert(&worker.knownProxies.back());
        worker.pendingProxies.push_back(proxy);
    }
}

bool TakeNext(CWorker& worker, CProxy& out)
{
    std::lock_guard<std::mutex> lock(worker.pendingLock);
    if (worker.pendingProxies.empty())
        return false;
    out = worker.pendingProxies.front();
    worker.pendingProxies.pop_front();
    return true;
}

void TakeResults(CWorker& worker, CProxyList& list)
{
    list.clear();
    std::lock_guard<std::mutex> lock(worker.passedLock);
    list.splice(list.end(), worker.passedProxies);
}

void ResetLists(CWorker& worker)
{
    {
        std::lock_guard<std::mutex> lock(worker.pendingLock);
        worker.knownIndex.clear();
        worker.knownProxies.clear();
        worker.pendingProxies.clear();
    }
    std::lock_guard<std::mutex> lock(worker.passedLock);
    worker.passedProxies.clear();
}

void RunDispatcher(CWorker& worker, void (*dispatcher)(CWorker&))
{
    // Starting and waiting under finishLock: a second caller cannot see the
    // finished flag of an earlier run before this one has cleared it.
    std::unique_lock<std::mutex> lock(worker.finishLock);
    if (!worker.running) {
        worker.running = true;
        worker.finished = false;
        try {
            std::thread(dispatcher, std::ref(worker)).detach();
        } catch (const std::system_error&) {
            worker.finished = true;  // nothing was dispatched
        }
    }
    worker.finishedChange.wait(lock, [&] { return worker.finished.load(); });
    lock.unlock();
    worker.running = false;
}

void AcquireSlot(CWorker& worker)
{
    std::lock_guard<std::mutex> lock(worker.countLock);
    ++worker.activeThreads;
}

void ReleaseSlot(CWorker& worker)
{
    std::lock_guard<std::mutex> lock(worker.countLock);
    if (worker.activeThreads > 0)
        --worker.activeThreads;
}

namespace {
// The jobs in flight on one dispatcher, with their deadlines in time order.
class JobsInFlight {
public:
    explicit JobsInFlight(CWorker& worker) : worker(worker) {}
    ~JobsInFlight() { FinishAll(); }

    bool Empty() const { return jobs.empty(); }

    void Start(std::unique_ptr<CTestJob> job, CTransferLoop& loop)
    {
        AcquireSlot(worker);
        CTestJob* started = job.get();
        jobs.emplace(started, std::move(job));
        started->Start(loop);
        Look(*started);
    }

    // A transfer of job ended, or its deadline may have come.
    void Look(CTestJob& job)
    {
        if (job.Ended()) {
            Finish(job);
            return;
        }
        const auto deadline = job.Deadline();
        if (deadline != CTestJob::kNoDeadline)
            deadlines.push({deadline, &job});
    }

    // Finishes the jobs whose deadline has passed.
    void FinishOverdue()
    {
        const auto now = CTestJob::Clock::now();
        while (!deadlines.empty() && deadlines.top().first <= now) {
            CTestJob* job = deadlines.top().second;
            deadlines.pop();
            // An entry outlives a job that ended earlier, and a job may have
            // moved its deadline since: only a live job past its own deadline ends.
            if (jobs.count(job) && job->Deadline() <= now)
                Finish(*job);
        }
    }

    CTestJob::Clock::time_point NextDeadline() const
    {
        return deadlines.empty() ? CTestJob::kNoDeadline : deadlines.top().first;
    }

    void FinishAll()
    {
        while (!jobs.empty())
            Finish(*jobs.begin()->first);
        deadlines = {};
    }

private:
    void Finish(CTestJob& job)
    {
        job.Finish();
        jobs.erase(&job);
        ReleaseSlot(worker);
    }

    using Deadline = std::pair<CTestJob::Clock::time_point, CTestJob*>;
    CWorker& worker;
    std::unordered_map<CTestJob*, std::unique_ptr<CTestJob>> jobs;
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<Deadline>> deadlines;
};
}  // namespace

void DispatchJobs(CWorker& worker, const JobFormer& formJob)
{
    // The longest single wait: a safety net only, every event wakes the loop.
    constexpr auto kLongestWait = std::chrono::seconds(1);
    {
        CTransferLoop loop;
        JobsInFlight inFlight(worker);
        bool jobsLeft = true;
        for (;;) {
            // testCanceled is looked at too, so a cancel that came before
            // this dispatcher set running is not lost.
            const bool canceled = testCanceled();
            while (jobsLeft && worker.running && !canceled && worker.activeThreads < worker.maxThreads) {
                std::unique_ptr<CTestJob> job = formJob();
                jobsLeft = job != nullptr;
                if (job)
                    inFlight.Start(std::move(job), loop);
            }
            if (canceled)
                inFlight.FinishAll();
            if (inFlight.Empty() && (!jobsLeft || !worker.running || canceled))
                break;
            const auto until = std::min(inFlight.NextDeadline(), CTestJob::Clock::now() + kLongestWait);
            loop.Wait(until, [&](CTestFetch& fetch) {
                fetch.job->TransferEnded(fetch);
                inFlight.Look(*fetch.job);
            });
            inFlight.FinishOverdue();
        }
    }
    std::lock_guard<std::mutex> lock(worker.finishLock);
    worker.finished = true;
    worker.finishedChange.notify_all();
}
