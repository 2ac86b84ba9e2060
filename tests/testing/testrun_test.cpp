#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>
#include <thread>

#include "enginetestharness.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {

TEST(TestRun, DuplicateIsTestedOnceAndReportsOneLessThanTotal)
{
    EngineHarness harness;
    const int a = harness.Socks(), b = harness.Socks();
    CProxyList list = {EngineHarness::Proxy(a), EngineHarness::Proxy(b), EngineHarness::Proxy(a)};
    CTestSpeedWorker worker(5, &harness.settings);
    ASSERT_TRUE(RunTest(worker, list, &harness.progress));

    const auto counts = harness.progress.Counts();
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 2);
    EXPECT_EQ(harness.progress.Events().back(), CRecordingProgress::kComplete);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(harness.fixture.ConnectionCount(a), 6);
    EXPECT_TRUE(worker.PendingCount() == 0 && worker.KnownCount() == 0);
}

TEST(TestRun, EmptyListEndsAtOnceWithoutCompletion)
{
    EngineHarness harness;
    CProxyList list;
    CTestSpeedWorker worker(5, &harness.settings);
    EXPECT_FALSE(RunTest(worker, list, &harness.progress));
    EXPECT_TRUE(harness.progress.Events().empty());
}

TEST(TestRun, CancelWhileEverySlotIsBusyEndsPromptlyAndKeepsWhatPassed)
{
    EngineHarness harness(30);
    SocksBehaviour silent;
    silent.action = SocksBehaviour::Action::NeverAnswer;
    const int good1 = harness.Socks(), good2 = harness.Socks();
    CProxyList list = {EngineHarness::Proxy(good1), EngineHarness::Proxy(good2)};
    for (int i = 0; i < 10; ++i)
        list.push_back(EngineHarness::Proxy(harness.Socks(silent)));

    CTestSpeedWorker worker(5, &harness.settings);
    std::thread run([&] { RunTest(worker, list, &harness.progress); });
    struct CancelOnFailure {
        CWorker& worker;
        std::thread& run;
        ~CancelOnFailure()
        {
            if (run.joinable()) {
                worker.Cancel();
                run.join();
            }
        }
    } guard{worker, run};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((worker.PassedCount() < 2 || worker.ActiveJobs() < 5) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(worker.ActiveJobs(), 5);

    const auto canceled = std::chrono::steady_clock::now();
    worker.Cancel();
    run.join();
    EXPECT_LT(std::chrono::steady_clock::now() - canceled, std::chrono::seconds(5));

    std::vector<int> ports = Ports(list);
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<int>{std::min(good1, good2), std::max(good1, good2)}));
    EXPECT_EQ(worker.ActiveJobs(), 0);
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(harness.progress.Events().back(), CRecordingProgress::kComplete);
}

}  // namespace

namespace {

// Names that a resolver or libcurl would take for 127.0.0.1, and ports
// outside 1 to 65535: none may reach the fixture port behind them.
TEST(TestRun, RecordsWithoutAValidAddressAndPortFailUntested)
{
    EngineHarness harness;
    const int good = harness.Socks(), trap = harness.Socks();
    const CProxyList records = {CProxy("localhost", trap, 7, 0, 0, 9),         CProxy("127.1", trap, 7, 0, 0, 9),
                                CProxy("127.0.0.01", trap, 7, 0, 0, 9),        CProxy("127.0.0.1", 0, 7, 0, 0, 9),
                                CProxy("127.0.0.1", 65536 + trap, 7, 0, 0, 9), EngineHarness::Proxy(good)};
    for (bool speedTest : {true, false}) {
        SCOPED_TRACE(speedTest ? "speed test" : "availability check");
        harness.progress.Clear();
        CProxyList list = records;
        std::unique_ptr<CWorker> worker;
        if (speedTest)
            worker = std::make_unique<CTestSpeedWorker>(5, &harness.settings);
        else
            worker = std::make_unique<CCheckAnonymousWorker>(5, &harness.settings);
        ASSERT_TRUE(RunTest(*worker, list, &harness.progress));
        EXPECT_EQ(Ports(list), std::vector<int>{good});
        const auto counts = harness.progress.Counts();
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 6);
    }
    EXPECT_EQ(harness.fixture.ConnectionCount(trap), 0);
}

}  // namespace
