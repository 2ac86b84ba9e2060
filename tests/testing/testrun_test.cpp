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
    ASSERT_TRUE(RunTest(worker, TestSpeedDispatcher, list));

    const auto counts = ProgressCounts(harness.target);
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 2);
    const auto messages = harness.target.Messages();
    EXPECT_EQ(messages.back().wParam, 1);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(harness.fixture.ConnectionCount(a), 6);
    EXPECT_TRUE(worker.pendingProxies.empty() && worker.knownProxies.empty());
}

TEST(TestRun, EmptyListEndsAtOnceWithoutCompletion)
{
    EngineHarness harness;
    CProxyList list;
    CTestSpeedWorker worker(5, &harness.settings);
    EXPECT_FALSE(RunTest(worker, TestSpeedDispatcher, list));
    EXPECT_TRUE(harness.target.Messages().empty());
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
    std::thread run([&] { RunTest(worker, TestSpeedDispatcher, list); });
    struct CancelOnFailure {
        CWorker& worker;
        std::thread& run;
        ~CancelOnFailure()
        {
            if (run.joinable()) {
                CancelTest(worker);
                run.join();
            }
        }
    } guard{worker, run};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto passedCount = [&] {
        std::lock_guard<std::mutex> lock(worker.passedLock);
        return worker.passedProxies.size();
    };
    while ((passedCount() < 2 || worker.activeThreads < 5) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(worker.activeThreads, 5);

    const auto canceled = std::chrono::steady_clock::now();
    CancelTest(worker);
    run.join();
    EXPECT_LT(std::chrono::steady_clock::now() - canceled, std::chrono::seconds(5));

    std::vector<int> ports = Ports(list);
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<int>{std::min(good1, good2), std::max(good1, good2)}));
    EXPECT_EQ(worker.activeThreads, 0);
    EXPECT_FALSE(worker.running);
    EXPECT_EQ(harness.target.Messages().back().wParam, 1);
}

}  // namespace

namespace {

// Names that a resolver or libcurl would take for 127.0.0.1, and ports
// outside 1 to 65535: none may reach the fixture port behind them.
TEST(TestRun, RecordsWithoutAValidAddressAndPortFailUntested)
{
    EngineHarness harness;
    const int good = harness.Socks(), trap = harness.Socks();
    const CProxyList records = {CProxy("localhost", trap, 7, 0, 0, 9), CProxy("127.1", trap, 7, 0, 0, 9),
                                CProxy("127.0.0.01", trap, 7, 0, 0, 9), CProxy("127.0.0.1", 0, 7, 0, 0, 9),
                                CProxy("127.0.0.1", 65536 + trap, 7, 0, 0, 9), EngineHarness::Proxy(good)};
    for (bool speedTest : {true, false}) {
        SCOPED_TRACE(speedTest ? "speed test" : "availability check");
        harness.target.Clear();
        CProxyList list = records;
        std::unique_ptr<CWorker> worker;
        if (speedTest)
            worker = std::make_unique<CTestSpeedWorker>(5, &harness.settings);
        else
            worker = std::make_unique<CCheckAnonymousWorker>(5, &harness.settings);
        ASSERT_TRUE(RunTest(*worker, speedTest ? TestSpeedDispatcher : CheckAnonymousDispatcher, list));
        EXPECT_EQ(Ports(list), std::vector<int>{good});
        const auto counts = ProgressCounts(harness.target);
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), 6);
    }
    EXPECT_EQ(harness.fixture.ConnectionCount(trap), 0);
}

}  // namespace
