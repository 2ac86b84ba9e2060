#include <gtest/gtest.h>

#include <chrono>

#include "crowdfixture.h"
#include "enginetestharness.h"
#include "support/realsocks.h"
#include "support/tempdir.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {

using Action = SocksBehaviour::Action;
using Protocol = SocksBehaviour::Protocol;

CProxyList RunSpeed(EngineHarness& harness, const std::vector<int>& ports)
{
    CProxyList list;
    for (int port : ports)
        list.push_back(EngineHarness::Proxy(port));
    CTestSpeedWorker worker(5, &harness.settings);
    RunTest(worker, list, &harness.progress);
    return list;
}

TEST(SpeedTest, FiveGoodFetchesGiveUptimeFiveAndTheirMeanTime)
{
    EngineHarness harness;
    SocksBehaviour slow;
    slow.delayMs = 150;
    const int port = harness.Socks(slow);
    const CProxyList list = RunSpeed(harness, {port});

    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().uptime, 5);
    EXPECT_GE(list.front().speed, 150);
    EXPECT_LT(list.front().speed, 5000);
    EXPECT_EQ(list.front().country, 7);
    EXPECT_EQ(list.front().type, 1);  // the fixture speaks SOCKS4 only

    int socks4 = 0, socks5 = 0;
    for (const FixtureConnection& c : harness.fixture.Connections(port))
        (c.version == 4 ? socks4 : socks5) += 1;
    EXPECT_EQ(socks4, 5);
    EXPECT_EQ(socks5, 1);  // the probe that decides the type
    EXPECT_EQ(harness.progress.Counts(), (std::vector<long long>{1}));
}

TEST(SpeedTest, FetchesOnlyWebPages)
{
    // A local file holding the expected text would pass every proxy, a dead
    // one too, without any proxy being asked.
    EngineHarness harness;
    TempDir dir;
    harness.SetTarget("file://" + dir.WriteFile("page.html", "engine"), "engine");
    EXPECT_TRUE(RunSpeed(harness, {9, harness.Socks()}).empty());
}

TEST(SpeedTest, TypeThreeWhenTheProxyAlsoSpeaksSocks5InTime)
{
    EngineHarness harness(30);
    SocksBehaviour both, lateSocks5;
    both.protocol = lateSocks5.protocol = Protocol::Both;
    lateSocks5.socks5HoldMs = 5000;  // far beyond the probe's grace
    const int bothPort = harness.Socks(both), latePort = harness.Socks(lateSocks5);
    const CProxyList list = RunSpeed(harness, {bothPort, latePort});
    ASSERT_EQ(list.size(), 2u);
    for (const CProxy& proxy : list) {
        EXPECT_EQ(proxy.uptime, 5);
        EXPECT_EQ(proxy.type, proxy.port == bothPort ? 3 : 1) << proxy.port;
    }
}

TEST(SpeedTest, DanteIsSocks4And5)
{
    std::string why;
    auto dante = RealSocksServer::StartDante(why);
    if (!dante)
        GTEST_SKIP() << why;
    EngineHarness harness;
    const CProxyList list = RunSpeed(harness, {dante->Port()});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().uptime, 5);
    EXPECT_EQ(list.front().type, 3);
}

// A proxy that passes only the SOCKS5 probe is rated by five fetches through
// SOCKS5, under the same rules as through SOCKS4.
TEST(SpeedTest, Socks5OnlyServerIsRatedThroughSocks5)
{
    EngineHarness harness;
    SocksBehaviour socks5Only, refusing;
    socks5Only.protocol = refusing.protocol = Protocol::Socks5;
    socks5Only.delayMs = 150;
    const std::string good = HttpAnswer(200, "search engine");
    refusing.action = Action::Serve;
    refusing.answers = {good, good, HttpAnswer(200, "engine: ACCESS DENIED")};  // the probe, then the five
    const int port = harness.Socks(socks5Only), refused = harness.Socks(refusing);
    std::vector<int> ports = {port, refused};
    std::string why;
    auto microsocks = RealSocksServer::StartMicrosocks(why);
    if (microsocks)
        ports.push_back(microsocks->Port());
    CProxyList list = RunSpeed(harness, ports);

    EXPECT_EQ(harness.progress.Counts().size(), ports.size());
    EXPECT_EQ(harness.fixture.ConnectionCount(refused), 11);
    ASSERT_EQ(list.size(), ports.size() - 1);
    for (const CProxy& proxy : list) {
        EXPECT_NE(proxy.port, refused);
        EXPECT_EQ(proxy.uptime, 5);
        EXPECT_EQ(proxy.type, 2);
    }
    const auto rated = FindProxy(list, EngineHarness::Proxy(port));
    ASSERT_NE(rated, list.end());
    EXPECT_GE(rated->speed, 150);
    int socks4 = 0, socks5 = 0;
    for (const FixtureConnection& c : harness.fixture.Connections(port))
        (c.version == 4 ? socks4 : socks5) += c.granted ? 1 : 0;
    EXPECT_EQ(socks4, 0);
    EXPECT_EQ(socks5, 6);  // the probe and the five that rated it
}

TEST(SpeedTest, OneRefusalAmongFiveAnswersFailsTheProxy)
{
    EngineHarness harness;
    const std::string good = HttpAnswer(200, "search engine");
    SocksBehaviour oneDenied, footer, partly;
    oneDenied.action = footer.action = partly.action = Action::Serve;
    oneDenied.answers = {good, good, HttpAnswer(200, "engine: ACCESS DENIED"), good};
    footer.answers = {HttpAnswer(200, "engine <footer>powered by a proxy</footer>")};
    partly.answers = {good, HttpAnswer(200, "nothing here")};  // one success, four blanks
    const int denied = harness.Socks(oneDenied);
    const int partial = harness.Socks(partly);
    const CProxyList list = RunSpeed(harness, {denied, harness.Socks(footer), partial});

    EXPECT_EQ(harness.fixture.ConnectionCount(denied), 6);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().port, partial);
    EXPECT_EQ(list.front().uptime, 1);
}

TEST(SpeedTest, LeavesTheListFastestFirst)
{
    EngineHarness harness;
    std::vector<int> ports;
    for (int delay : {400, 20, 200}) {
        SocksBehaviour behaviour;
        behaviour.delayMs = delay;
        ports.push_back(harness.Socks(behaviour));
    }
    const CProxyList list = RunSpeed(harness, ports);
    EXPECT_EQ(Ports(list), (std::vector<int>{ports[1], ports[2], ports[0]}));
    EXPECT_LT(list.front().speed, list.back().speed);
}

}  // namespace

namespace {

TEST(SpeedTest, Socks5ProbeHeldOpenCostsOnlyTheGraceNotTheTimeout)
{
    EngineHarness harness(30);
    CrowdFixture crowd;
    const int port = crowd.AddProxy(CrowdFixture::Kind::RelayHoldingSocks5, 300);
    const auto start = std::chrono::steady_clock::now();
    const CProxyList list = RunSpeed(harness, {port});
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.front().uptime, 5);
    EXPECT_EQ(list.front().type, 1);  // the probe still running after the grace failed
    EXPECT_EQ(crowd.Accepted(port), 6);
    // About 0.3 s of fetches and 0.5 s of grace; the 30 s timeout is far off
    // even on a loaded machine.
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
