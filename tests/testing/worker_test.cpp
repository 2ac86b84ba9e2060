#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "testing/testflags.h"
#include "testing/worker.h"

namespace {

CProxy Make(const char* ip, int port, int country)
{
    return CProxy(ip, port, country, 1, 2, 300);
}

TEST(WorkerQueue, KeepsTheFirstOfEachProxyUntilReset)
{
    CWorker worker(5);
    AddProxies(worker, {Make("127.0.0.1", 1080, 4), Make("127.0.0.1", 1081, 5), Make("127.0.0.1", 1080, 9)});
    AddProxies(worker, {Make("127.0.0.1", 1081, 6), Make("127.0.0.2", 1080, 7)});

    CProxy next;
    ASSERT_TRUE(TakeNext(worker, next));
    EXPECT_EQ(next.port, 1080);
    EXPECT_EQ(next.country, 4);  // the first occurrence, with its own fields
    ASSERT_TRUE(TakeNext(worker, next));
    EXPECT_EQ(next.country, 5);
    ASSERT_TRUE(TakeNext(worker, next));
    EXPECT_STREQ(next.ip, "127.0.0.2");
    EXPECT_FALSE(TakeNext(worker, next));

    ResetLists(worker);
    AddProxies(worker, {Make("127.0.0.1", 1080, 8)});
    ASSERT_TRUE(TakeNext(worker, next));
    EXPECT_EQ(next.country, 8);
}

TEST(WorkerQueue, DropsDuplicatesAmongManyProxies)
{
    CWorker worker(5);
    CProxyList list;
    for (int i = 0; i < 100000; ++i) {
        char ip[16];
        snprintf(ip, sizeof ip, "127.0.%d.%d", i / 250 % 250, i % 250);
        list.push_back(Make(ip, 1000 + i / 62500, i));
    }
    AddProxies(worker, list);
    AddProxies(worker, list);
    EXPECT_EQ(worker.pendingProxies.size(), list.size());
    EXPECT_EQ(worker.pendingProxies.back().country, 99999);
}

TEST(WorkerQueue, TakeResultsReplacesTheCallersList)
{
    CWorker worker(5);
    CProxyList mine = {Make("127.0.0.9", 9, 1)};
    TakeResults(worker, mine);
    EXPECT_TRUE(mine.empty());

    worker.passedProxies = {Make("127.0.0.1", 1, 1), Make("127.0.0.1", 2, 1)};
    TakeResults(worker, mine);
    EXPECT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine.front().port, 1);
    EXPECT_TRUE(worker.passedProxies.empty());
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

void SleepingJobDispatcher(CWorker& worker)
{
    DispatchJobs(worker, []() -> std::unique_ptr<CTestJob> {
        if (jobsLeft-- <= 0)
            return nullptr;
        return std::make_unique<SleepingJob>();
    });
}

TEST(WorkerPool, RunsEveryJobButNeverMoreThanMaxThreadsAtOnce)
{
    testCanceled() = false;
    jobsLeft = 12;
    jobsRun = runningNow = mostAtOnce = 0;
    CWorker worker(5);
    RunDispatcher(worker, SleepingJobDispatcher);
    EXPECT_EQ(jobsRun, 12);
    EXPECT_EQ(mostAtOnce, 5);
    EXPECT_TRUE(worker.finished);
    EXPECT_FALSE(worker.running);
    EXPECT_EQ(worker.activeThreads, 0);
}

std::atomic<int> dispatcherStarts{0};
std::atomic<bool> releaseDispatcher{false};

void HeldDispatcher(CWorker& worker)
{
    ++dispatcherStarts;
    DispatchJobs(worker, []() -> std::unique_ptr<CTestJob> {
        while (!releaseDispatcher)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return nullptr;
    });
}

TEST(WorkerPool, SecondRunDispatcherWaitsForTheDispatcherAtWork)
{
    testCanceled() = false;
    CWorker worker(5);
    std::atomic<int> returned{0};
    std::thread first([&] { RunDispatcher(worker, HeldDispatcher); ++returned; });
    while (!worker.running)
        std::this_thread::yield();
    std::thread second([&] { RunDispatcher(worker, HeldDispatcher); ++returned; });
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
    testCanceled() = true;
    jobsLeft = 3;
    jobsRun = 0;
    CWorker worker(5);
    RunDispatcher(worker, SleepingJobDispatcher);
    EXPECT_EQ(jobsRun, 0);
    testCanceled() = false;
}

}  // namespace
