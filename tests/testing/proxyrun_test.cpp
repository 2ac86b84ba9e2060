// Test runs over proxies that misbehave in every way a SOCKS server on the
// network can: garbage or trickling replies, endless or cut-off bodies,
// resets, silence. Each run must end on its own, report every proxy to the
// progress window and keep exactly the proxies that passed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "settings/setting.h"
#include "socksfixture.h"
#include "support/peakmemory.h"
#include "support/recordingprogress.h"
#include "support/scriptedserver.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {
using Clock = std::chrono::steady_clock;
using Action = SocksBehaviour::Action;
constexpr int kTimeoutSeconds = 5;
constexpr double kLongestWaitSeconds = 2;  // one wait of the transfer loop, at most

// A test body whose first half already holds the expected text, so a proxy
// that cuts it off can only fail on the transfer's result.
const std::string kLongBody = "engine engine " + std::string(4000, '.') + "</body>";

std::string Socks4Grant()
{
    return std::string("\x00\x5A\x00\x00\x00\x00\x00\x00", 8);
}

struct Outcome {
    std::vector<int> ports;  // of the list after the run, in its order
    long long progress = 0;  // sum of the progress counts
    int completions = 0;
    double seconds = 0;
};

// Everything one run needs: the fixture, the extra raw servers, a test
// section aimed at the fixture's page and a recording progress listener.
class ProxyRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        page = fixture.AddPage();
        ASSERT_GT(page, 0);
        settings.testUrl = SocksFixture::PageUrl(page).c_str();
        settings.correctValue = "engine";
        settings.timeoutSeconds = kTimeoutSeconds;
        settings.threadCount = 30;
    }

    int Socks(Action action, std::vector<std::string> answers = {}, int trickleMs = 100)
    {
        SocksBehaviour behaviour;
        behaviour.action = action;
        behaviour.answers = std::move(answers);
        behaviour.trickleMs = trickleMs;
        const int port = fixture.AddSocks(behaviour);
        EXPECT_GT(port, 0);
        return port;
    }
    int Raw(const ServerScript& script)
    {
        raw.push_back(std::make_unique<ScriptedServer>(script));
        return raw.back()->Port();
    }
    int NeverAccepting()
    {
        raw.push_back(ScriptedServer::NeverAccepting());
        return raw.back()->Port();
    }

    static CProxyList ListOf(const std::vector<int>& ports)
    {
        CProxyList list;
        for (int port : ports)
            list.emplace_back("127.0.0.1", port, 5, 0, 0, kUnmeasuredSpeed);
        return list;
    }

    Outcome Run(bool speedTest, int threads, const std::vector<int>& ports)
    {
        progress.Clear();
        CProxyList list = ListOf(ports);
        Outcome outcome;
        const auto start = Clock::now();
        if (speedTest) {
            CTestSpeedWorker worker(threads, &settings);
            EXPECT_TRUE(RunTest(worker, list, &progress));
        } else {
            CCheckAnonymousWorker worker(threads, &settings);
            EXPECT_TRUE(RunTest(worker, list, &progress));
        }
        outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        for (const CProxy& proxy : list)
            outcome.ports.push_back(proxy.port);
        for (long long event : progress.Events()) {
            if (event == CRecordingProgress::kComplete)
                ++outcome.completions;
            else
                outcome.progress += event;
        }
        return outcome;
    }

    SocksFixture fixture;
    std::vector<std::unique_ptr<ScriptedServer>> raw;
    int page = 0;
    CSettingTestItem settings;
    CRecordingProgress progress;
};

std::vector<int> Sorted(std::vector<int> ports)
{
    std::sort(ports.begin(), ports.end());
    return ports;
}
}  // namespace

TEST_F(ProxyRun, MisbehavingProxiesDropOutAndOnlyTheGoodOnesStay)
{
    const std::vector<int> good = {Socks(Action::Relay), Socks(Action::Serve)};
    const ServerScript::Ending close = ServerScript::Ending::Close;
    const std::string cutHead = "HTTP/1.1 200 OK\r\nContent-Length: 9000\r\n\r\n";
    const std::vector<int> bad = {
        // Garbage where the SOCKS reply belongs.
        Raw({ServerScript::Request::Socks4, "HTTP/1.0 400 Bad Request\r\n\r\nengine", 0, "", close}),
        Raw({ServerScript::Request::Socks4, std::string("\x47\x5A\0\0\0\0\0\0", 8) + HttpAnswer(200, "engine"), 0, "",
             close}),
        Raw({ServerScript::Request::Socks4, std::string("\0", 1), 0, "", close}),
        // A grant, then bytes that are no HTTP answer.
        Raw({ServerScript::Request::Socks4, Socks4Grant() + "\xff\xfe engine \x01\r\n\r\n", 0, "", close}),
        // The SOCKS reply itself trickles, one byte a second.
        Raw({ServerScript::Request::Socks4, Socks4Grant() + HttpAnswer(200, "engine"), 1000, "", close}),
        // The HTTP answer trickles, one byte a second.
        Socks(Action::ServeTrickle, {HttpAnswer(200, kLongBody)}, 1000),
        // Half the answer, holding the expected text, then a reset.
        Socks(Action::ServeThenReset, {HttpAnswer(200, kLongBody)}),
        // The expected text, then an orderly close long before Content-Length.
        Raw({ServerScript::Request::Socks4, Socks4Grant() + cutHead + kLongBody.substr(0, 100), 0, "", close}),
        Socks(Action::ServeEndless),
        Socks(Action::NeverAnswer),
        Socks(Action::Reject),
        Socks(Action::CloseAtOnce),
        NeverAccepting(),
    };
    std::vector<int> all = bad;
    all.insert(all.begin() + 3, good[0]);
    all.push_back(good[1]);

    for (bool speedTest : {true, false}) {
        SCOPED_TRACE(speedTest ? "speed test" : "availability check");
        const Outcome outcome = Run(speedTest, 30, all);
        EXPECT_EQ(Sorted(outcome.ports), Sorted(good));
        EXPECT_EQ(outcome.progress, static_cast<long long>(all.size()));
        EXPECT_EQ(outcome.completions, 1);
        // Hang guard: every proxy runs at once, so one timeout and one wait
        // would do; three times that is still no hang.
        EXPECT_LT(outcome.seconds, 3 * (kTimeoutSeconds + kLongestWaitSeconds));
    }
}

TEST_F(ProxyRun, TwoHundredSilentProxiesEndInTimeoutRounds)
{
    // 150 that take the request and say nothing, 50 that never even accept,
    // then two good ones at the very end of the queue.
    std::vector<int> ports;
    for (int i = 0; i < 150; ++i)
        ports.push_back(Socks(Action::NeverAnswer));
    for (int i = 0; i < 50; ++i)
        ports.push_back(NeverAccepting());
    const std::vector<int> good = {Socks(Action::Serve), Socks(Action::Relay)};
    ports.insert(ports.end(), good.begin(), good.end());
    const int threads = 30;

    // Speed test: one proxy per thread, so ceil(202 / 30) rounds of one timeout each.
    Outcome outcome = Run(true, threads, ports);
    const double rounds = std::ceil(static_cast<double>(ports.size()) / threads);
    std::printf("speed test over %zu proxies: %.1f s (%.0f rounds of %d s expected)\n", ports.size(), outcome.seconds,
                rounds, kTimeoutSeconds);
    EXPECT_EQ(Sorted(outcome.ports), Sorted(good));
    EXPECT_EQ(outcome.progress, static_cast<long long>(ports.size()));
    EXPECT_EQ(outcome.completions, 1);
    EXPECT_LT(outcome.seconds, 3 * rounds * (kTimeoutSeconds + kLongestWaitSeconds));

    // Availability check: five proxies per thread, ceil(202 / 150) rounds.
    outcome = Run(false, threads, ports);
    const double batchRounds = std::ceil(static_cast<double>(ports.size()) / (threads * 5));
    std::printf("availability check over %zu proxies: %.1f s\n", ports.size(), outcome.seconds);
    EXPECT_EQ(Sorted(outcome.ports), Sorted(good));
    EXPECT_EQ(outcome.progress, static_cast<long long>(ports.size()));
    EXPECT_LT(outcome.seconds, 3 * batchRounds * (kTimeoutSeconds + kLongestWaitSeconds));
}

TEST_F(ProxyRun, EndlessBodiesAreCutAtTheCapInBoundedMemory)
{
    // Ten proxies streaming at loopback speed into six fetches each: without
    // a cap the run would buffer gigabytes before the timeout.
    std::vector<int> ports;
    for (int i = 0; i < 10; ++i)
        ports.push_back(Socks(Action::ServeEndless));
    const bool canMeasure = PeakMemory::Reset();
    const size_t before = PeakMemory::CurrentKiB();
    const Outcome outcome = Run(true, 10, ports);
    EXPECT_TRUE(outcome.ports.empty());
    EXPECT_EQ(outcome.progress, 10);
    if (!canMeasure)
        GTEST_SKIP() << "the memory high-water mark cannot be reset here";
    const size_t grownMiB = (PeakMemory::PeakKiB() - before) / 1024;
    std::printf("memory grew by %zu MiB for 60 endless fetches\n", grownMiB);
    EXPECT_LT(grownMiB, 150u);  // 60 fetches of at most 1 MiB (2 MiB allocated) and slack
}
