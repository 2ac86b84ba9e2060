#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <map>
#include <set>

#include "crowdfixture.h"
#include "enginetestharness.h"
#include "support/realsocks.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/transfers.h"

namespace {

using Action = SocksBehaviour::Action;
using Protocol = SocksBehaviour::Protocol;

TEST(AvailabilityCheck, TestsInBatchesOfFiveInListOrder)
{
    EngineHarness harness;
    CProxyList list;
    std::vector<int> ports;
    for (int i = 0; i < 12; ++i) {
        ports.push_back(harness.Socks());
        list.push_back(EngineHarness::Proxy(ports.back(), 1000 - i));  // speeds in reverse order
    }
    CCheckAnonymousWorker worker(1, &harness.settings);  // one batch at a time
    ASSERT_TRUE(RunTest(worker, list, &harness.progress));

    EXPECT_EQ(harness.progress.Counts(), (std::vector<long long>{5, 5, 2}));
    ASSERT_FALSE(harness.progress.Events().empty());
    EXPECT_EQ(harness.progress.Events().back(), CRecordingProgress::kComplete);  // completion last

    // Batch membership, seen from the order in which the proxies were reached through SOCKS4.
    std::vector<int> reached;
    for (const FixtureConnection& c : harness.fixture.AllConnections())
        if (c.port != harness.page && c.version == 4)
            reached.push_back(c.port);
    ASSERT_EQ(reached.size(), 12u);
    for (size_t batch = 0; batch < 12; batch += 5) {
        const size_t end = std::min<size_t>(batch + 5, 12);
        EXPECT_EQ(std::set<int>(reached.begin() + batch, reached.begin() + end),
                  std::set<int>(ports.begin() + batch, ports.begin() + end));
    }

    // All passed with their other fields untouched, sorted by the speed they had.
    ASSERT_EQ(list.size(), 12u);
    std::reverse(ports.begin(), ports.end());
    EXPECT_EQ(Ports(list), ports);
    EXPECT_EQ(list.front().country, 7);
    EXPECT_EQ(list.front().speed, 1000 - 11);
    EXPECT_EQ(list.front().type, 1);  // the fixture speaks SOCKS4 only
}

TEST(AvailabilityCheck, SendsProperSocksRequestsAndTheBrowserUserAgent)
{
    EngineHarness harness;
    const int port = harness.Socks();
    CProxyList list = {EngineHarness::Proxy(port)};
    CCheckAnonymousWorker worker(5, &harness.settings);
    RunTest(worker, list, &harness.progress);

    auto connections = harness.fixture.Connections(port);
    ASSERT_EQ(connections.size(), 2u);
    std::sort(connections.begin(), connections.end(),
              [](const FixtureConnection& a, const FixtureConnection& b) { return a.version < b.version; });
    const uint16_t pagePort = htons(static_cast<uint16_t>(harness.page));
    std::string expected = {'\x04', '\x01'};
    expected.append(reinterpret_cast<const char*>(&pagePort), 2);
    expected += std::string("\x7f\x00\x00\x01\x00", 5);  // 127.0.0.1, empty user id
    EXPECT_EQ(connections[0].handshake, expected);
    EXPECT_NE(connections[0].payload.find("User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)\r\n"),
              std::string::npos);
    EXPECT_EQ(connections[1].handshake, std::string("\x05\x01\x00", 3));  // SOCKS5, no authentication only
    EXPECT_EQ(list.size(), 1u);
}

TEST(AvailabilityCheck, PassesOnTheExpectedTextAloneWhateverTheStatus)
{
    EngineHarness harness;
    SocksBehaviour socks5Only;
    socks5Only.protocol = Protocol::Socks5;
    SocksBehaviour reject, closing, reset, endless, trickle;
    trickle.action = Action::ServeTrickle;
    trickle.trickleMs = 1;  // slow, but complete well within the timeout
    reject.action = Action::Reject;
    closing.action = Action::CloseAtOnce;
    endless.action = Action::ServeEndless;
    reset.action = Action::ServeThenReset;
    reset.answers = {HttpAnswer(200, std::string(4000, 'x') + " engine")};

    const std::string capBody = "engine" + std::string(kMaxTestBody - 6, '.');
    const std::vector<int> good = {
        harness.Serving(HttpAnswer(200, "A SEARCH ENGINE")),
        harness.Serving(HttpAnswer(403, "Access denied by the engine room")),
        harness.Serving(HttpAnswer(200, capBody)),
        harness.Socks(trickle),
        harness.Socks(socks5Only),
    };
    const std::vector<int> bad = {
        harness.Serving(HttpAnswer(200, "nothing of interest")),
        harness.Serving(HttpAnswer(200, std::string("bin\0ary engine", 14))),
        harness.Serving(HttpAnswer(200, capBody + ".")),
        harness.Socks(reject),
        harness.Socks(closing),
        harness.Socks(endless),
        harness.Socks(reset),
    };
    CProxyList list;
    for (int port : bad)
        list.push_back(EngineHarness::Proxy(port));
    for (int port : good)
        list.push_back(EngineHarness::Proxy(port));

    CCheckAnonymousWorker worker(5, &harness.settings);
    RunTest(worker, list, &harness.progress);

    const std::vector<int> passed = Ports(list);
    EXPECT_EQ(std::set<int>(passed.begin(), passed.end()), std::set<int>(good.begin(), good.end()));
    auto counts = harness.progress.Counts();
    std::sort(counts.begin(), counts.end());
    EXPECT_EQ(counts, (std::vector<long long>{2, 5, 5}));  // whole batches, passed or not
}

// A proxy passes through the versions it speaks, and its type says which.
// A SOCKS5 answer that comes too late beside a SOCKS4 pass is not waited
// for: the proxy counts as SOCKS4 only, and the batch ends long before the
// timeout.
TEST(AvailabilityCheck, FindsTheSocksVersionsEachProxySpeaks)
{
    EngineHarness harness(30);
    CrowdFixture crowd;
    SocksBehaviour socks5Only, both, lateSocks5;
    socks5Only.protocol = Protocol::Socks5;
    both.protocol = lateSocks5.protocol = Protocol::Both;
    lateSocks5.socks5HoldMs = 5000;
    std::map<int, int> expected = {{harness.Socks(), 1},
                                   {harness.Socks(socks5Only), 2},
                                   {harness.Socks(both), 3},
                                   {harness.Socks(lateSocks5), 1},
                                   {crowd.AddProxy(CrowdFixture::Kind::RelayHoldingSocks5), 1}};
    std::string why;
    auto microsocks = RealSocksServer::StartMicrosocks(why);
    auto dante = RealSocksServer::StartDante(why);
    if (microsocks)
        expected[microsocks->Port()] = 2;
    if (dante)
        expected[dante->Port()] = 3;
    CProxyList list;
    for (const auto& [port, type] : expected)
        list.push_back(EngineHarness::Proxy(port));
    CCheckAnonymousWorker worker(5, &harness.settings);
    RunTest(worker, list, &harness.progress);

    std::map<int, int> found;
    for (const CProxy& proxy : list)
        found[proxy.port] = proxy.type;
    EXPECT_EQ(found, expected);
}

}  // namespace
