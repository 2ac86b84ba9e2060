#include "testing/worker.h"

#include <queue>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "settings/setting.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

int ConfiguredThreadCount()
{
    return GetSetting().GetTestItem().threadCount;
}

CWorker::CWorker(int maxThreads, const CSettingTestItem* testSettings)
    : maxThreads_(maxThreads > 0 ? maxThreads : 1), testSettings_(testSettings)
{}

CWorker::~CWorker() = default;

const CSettingTestItem& CWorker::TestSettings() const
{
    return testSettings_ ? *testSettings_ : GetSetting().GetTestItem();
}

size_t CWorker::IdentityHash::operator()(const CProxy* proxy) const
{
    return std::hash<std::string_view>()(proxy->ip) * 31 + static_cast<size_t>(proxy->port);
}

void CWorker::AddProxies(const CProxyList& list)
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    for (const CProxy& proxy : list) {
        if (knownIndex_.count(&proxy))
            continue;
        knownProxies_.push_back(proxy);
        knownIndex_.insert(&knownProxies_.back());
        pendingProxies_.push_back(proxy);
    }
    if (dispatchLoop_)
        dispatchLoop_->Wake();
}

void CWorker::OpenIntake()
{
    intakeOpen_ = true;
}

void CWorker::CloseIntake()
{
    intakeOpen_ = false;
    WakeDispatcher();
}

void CWorker::WakeDispatcher()
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    if (dispatchLoop_)
        dispatchLoop_->Wake();
}

bool CWorker::TakeNext(CProxy& out)
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    if (pendingProxies_.empty())
        return false;
    out = pendingProxies_.front();
    pendingProxies_.pop_front();
    return true;
}

void CWorker::AddPassed(const CProxy& proxy)
{
    std::lock_guard<std::mutex> lock(passedLock_);
    passedProxies_.push_back(proxy);
}

void CWorker::TakeResults(CProxyList& list)
{
    list.clear();
    std::lock_guard<std::mutex> lock(passedLock_);
    list.splice(list.end(), passedProxies_);
}

void CWorker::ResetLists()
{
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        knownIndex_.clear();
        knownProxies_.clear();
        pendingProxies_.clear();
    }
    std::lock_guard<std::mutex> lock(passedLock_);
    passedProxies_.clear();
}

size_t CWorker::KnownCount() const
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    return knownProxies_.size();
}

size_t CWorker::PendingCount() const
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    return pendingProxies_.size();
}

size_t CWorker::PassedCount() const
{
    std::lock_guard<std::mutex> lock(passedLock_);
    return passedProxies_.size();
}

void CWorker::RunDispatcher()
{
    // Starting and waiting under finishLock_: a second caller cannot see the
    // finished flag of an earlier run before this one has cleared it.
    std::unique_lock<std::mutex> lock(finishLock_);
    if (!running_) {
        running_ = true;
        finished_ = false;
        try {
            std::thread([this] { Dispatch(); }).detach();
        } catch (const std::system_error&) {
            finished_ = true;  // nothing was dispatched
        }
    }
    finishedChange_.wait(lock, [this] { return finished_.load(); });
    lock.unlock();
    running_ = false;
}

void CWorker::Cancel()
{
    canceled_ = true;
    running_ = false;
    WakeTransfers();
}

void CWorker::ReportProgress(int count)
{
    if (ITestProgressListener* listener = listener_.load())
        listener->OnProgress(count);
}

void CWorker::ReportComplete()
{
    if (ITestProgressListener* listener = listener_.load())
        listener->OnComplete();
}

void CWorker::MarkFinished()
{
    std::lock_guard<std::mutex> lock(finishLock_);
    finished_ = true;
    finishedChange_.notify_all();
}

// The jobs in flight on one dispatcher, with their deadlines in time order.
class CWorker::JobsInFlight {
public:
    explicit JobsInFlight(CWorker& worker) : worker_(worker) {}
    ~JobsInFlight() { FinishAll(); }

    bool Empty() const { return jobs_.empty(); }

    void Start(std::unique_ptr<CTestJob> job, CTransferLoop& loop)
    {
        ++worker_.activeJobs_;
        CTestJob* started = job.get();
        jobs_.emplace(started, std::move(job));
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
            deadlines_.push({deadline, &job});
    }

    // Finishes the jobs_ whose deadline has passed.
    void FinishOverdue()
    {
        const auto now = CTestJob::Clock::now();
        while (!deadlines_.empty() && deadlines_.top().first <= now) {
            CTestJob* job = deadlines_.top().second;
            deadlines_.pop();
            // An entry outlives a job that ended earlier, and a job may have
            // moved its deadline since: only a live job past its own deadline ends.
            if (jobs_.count(job) && job->Deadline() <= now)
                Finish(*job);
        }
    }

    CTestJob::Clock::time_point NextDeadline() const
    {
        return deadlines_.empty() ? CTestJob::kNoDeadline : deadlines_.top().first;
    }

    void FinishAll()
    {
        while (!jobs_.empty())
            Finish(*jobs_.begin()->first);
        deadlines_ = {};
    }

private:
    void Finish(CTestJob& job)
    {
        job.Finish();
        jobs_.erase(&job);
        --worker_.activeJobs_;
    }

    using Deadline = std::pair<CTestJob::Clock::time_point, CTestJob*>;
    CWorker& worker_;
    std::unordered_map<CTestJob*, std::unique_ptr<CTestJob>> jobs_;
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<Deadline>> deadlines_;
};

void CWorker::DispatchJobs(const JobFormer& formJob)
{
    // The longest single wait: a safety net only, every event wakes the loop.
    constexpr auto kLongestWait = std::chrono::seconds(1);
    {
        CTransferLoop loop;
        {
            std::lock_guard<std::mutex> lock(pendingLock_);
            dispatchLoop_ = &loop;
        }
        JobsInFlight inFlight(*this);
        bool jobsLeft = true;
        for (;;) {
            // canceled_ is looked at too, so a cancel that came before this
            // dispatcher set running_ is not lost.
            const bool canceled = canceled_;
            while (jobsLeft && running_ && !canceled && activeJobs_ < maxThreads_) {
                // Read before forming: proxies added before the intake closed
                // are pending by the time formJob looks.
                const bool intakeOpen = intakeOpen_;
                std::unique_ptr<CTestJob> job = formJob();
                if (!job) {
                    jobsLeft = intakeOpen;
                    break;
                }
                inFlight.Start(std::move(job), loop);
            }
            if (canceled)
                inFlight.FinishAll();
            if (inFlight.Empty() && (!jobsLeft || !running_ || canceled))
                break;
            const auto until = std::min(inFlight.NextDeadline(), CTestJob::Clock::now() + kLongestWait);
            loop.Wait(until, [&](CTestFetch& fetch) {
                fetch.job->TransferEnded(fetch);
                inFlight.Look(*fetch.job);
            });
            inFlight.FinishOverdue();
        }
        std::lock_guard<std::mutex> lock(pendingLock_);
        dispatchLoop_ = nullptr;
    }
    MarkFinished();
}
