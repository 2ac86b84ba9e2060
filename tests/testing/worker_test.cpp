#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "testing/worker.h"

namespace {

CProxy Make(const char* ip, int port, int country)
{
    return CProxy(ip, port, country, 1, 2, 300);
}

// A worker whose dispatcher forms jobs with a function of the test's.
class CTestWorker : public CWorker {
public:
    explicit CTestWorker(int maxThreads, std::function<void(CTestWorker&)> dispatch = {})
        : CWorker(maxThreads), dispatch_(std::move(dispatch))
    {}
    using CWorker::DispatchJobs;

protected:
    void Dispatch() override
    {
        if (dispatch_)
            dispatch_(*this);
        else
            DispatchJobs([] { return nullptr; });
    }

private:
    std::function<void(CTestWorker&)> dispatch_;
};

TEST(WorkerQueue, KeepsTheFirstOfEachProxyUntilReset)
{
    CTestWorker worker(5);
    worker.AddProxies({Make("127.0.0.1", 1080, 4), Make("127.0.0.1", 1081, 5), Make("127.0.0.1", 1080, 9)});
    worker.AddProxies({Make("127.0.0.1", 1081, 6), Make("127.0.0.2", 1080, 7)});

    CProxy next;
    ASSERT_TRUE(worker.TakeNext(next));
    EXPECT_EQ(next.port, 1080);
    EXPECT_EQ(next.country, 4);  // the first occurrence, with its own fields
    ASSERT_TRUE(worker.TakeNext(next));
    EXPECT_EQ(next.country, 5);
    ASSERT_TRUE(worker.TakeNext(next));
    EXPECT_STREQ(next.ip, "127.0.0.2");
    EXPECT_FALSE(worker.TakeNext(next));

    worker.ResetLists();
    worker.AddProxies({Make("127.0.0.1", 1080, 8)});
    ASSERT_TRUE(worker.TakeNext(next));
    EXPECT_EQ(next.country, 8);
}

TEST(WorkerQueue, DropsDuplicatesAmongManyProxies)
{
    CTestWorker worker(5);
    CProxyList list;
    for (int i = 0; i < 100000; ++i) {
        char ip[16];
        snprintf(ip, sizeof ip, "127.0.%d.%d", i / 250 % 250, i % 250);
        list.push_back(Make(ip, 1000 + i / 62500, i));
    }
    worker.AddProxies(list);
    worker.AddProxies(list);
    EXPECT_EQ(worker.PendingCount(), list.size());
    CProxy last;
    while (worker.TakeNext(last)) {
    }
    EXPECT_EQ(last.country, 99999);
}

TEST(WorkerQueue, TakeResultsReplacesTheCallersList)
{
    CTestWorker worker(5);
    CProxyList mine = {Make("127.0.0.9", 9, 1)};
    worker.TakeResults(mine);
    EXPECT_TRUE(mine.empty());

    worker.AddPassed(Make("127.0.0.1", 1, 1));
    worker.AddPassed(Make("127.0.0.1", 2, 1));
    worker.TakeResults(mine);
    EXPECT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine.front().port, 1);
    EXPECT_EQ(worker.PassedCount(), 0u);
}

// Synthetic jobs without transfers that record how many of them run at once;
// each ends at its deadline, 40 ms after it started.
std::atomic<int> jobsLeft{0}, jobsRun{0}, runningNow{0}, mostAtOnce{0};

class SleepingJob : public CTestJob {
public:
    void Start(CTransferLoop&) override
    {
        end = Clock::now() + std::chrono::milliseconds(40);
        const int now = ++runningNow;
        mostAtOnce = std::max(mostAtOnce.load(), now);
    }
    bool Ended() const override { return false; }
    Clock::time_point Deadline() const override { return end; }
    void Finish() override
    {
        --runningNow;
        ++jobsRun;
    }

private:
    Clock::time_point end;
};

void SleepingJobDispatcher(CTestWorker& worker)
{
    worker.DispatchJobs([]() -> std::unique_ptr<CTestJob> {
        if (jobsLeft-- <= 0)
            return nullptr;
        return std::make_unique<SleepingJob>();
    });
}

TEST(WorkerPool, RunsEveryJobButNeverMoreThanMaxThreadsAtOnce)
{
    jobsLeft = 12;
    jobsRun = runningNow = mostAtOnce = 0;
    CTestWorker worker(5, SleepingJobDispatcher);
    worker.RunDispatcher();
    EXPECT_EQ(jobsRun, 12);
    EXPECT_EQ(mostAtOnce, 5);
    EXPECT_TRUE(worker.Finished());
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(worker.ActiveJobs(), 0);
}

std::atomic<int> dispatcherStarts{0};
std::atomic<bool> releaseDispatcher{false};

void HeldDispatcher(CTestWorker& worker)
{
    ++dispatcherStarts;
    worker.DispatchJobs([]() -> std::unique_ptr<CTestJob> {
        while (!releaseDispatcher)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return nullptr;
    });
}

TEST(WorkerPool, SecondRunDispatcherWaitsForTheDispatcherAtWork)
{
    CTestWorker worker(5, HeldDispatcher);
    std::atomic<int> returned{0};
    std::thread first([&] {
        worker.RunDispatcher();
        ++returned;
    });
    while (!worker.Running())
        std::this_thread::yield();
    std::thread second([&] {
        worker.RunDispatcher();
        ++returned;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(returned, 0);
    releaseDispatcher = true;
    first.join();
    second.join();
    EXPECT_EQ(returned, 2);
    EXPECT_EQ(dispatcherStarts, 1);
}

TEST(WorkerPool, CancelBeforeDispatchStartsNoJob)
{
    jobsLeft = 3;
    jobsRun = 0;
    CTestWorker worker(5, SleepingJobDispatcher);
    worker.Cancel();
    worker.RunDispatcher();
    EXPECT_EQ(jobsRun, 0);
}

}  // namespace
