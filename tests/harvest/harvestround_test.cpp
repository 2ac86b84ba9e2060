// A harvest round while it runs: proxies served as they pass while a slow
// source still comes, never fewer while a round runs, a failed source fetched
// again, proxies served with the SOCKS versions they speak, the caps; and the served list
// in turns: at most the serve count, fastest first, the next ones next time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "checkinput.h"
#include "countrylookup.h"
#include "crowdfixture.h"
#include "harvest.h"
#include "harvester.h"
#include "openfiles.h"
#include "servedlist.h"
#include "socksfixture.h"
#include "sourcefetch.h"
#include "support/scriptedserver.h"
#include "support/tempdir.h"

namespace {
using Action = SocksBehaviour::Action;
using Protocol = SocksBehaviour::Protocol;

std::string Line(int port, const char* scheme = "")
{
    return std::string(scheme) + "127.0.0.1:" + std::to_string(port) + "\n";
}

HarvestSettings LoopbackSettings(const std::string& pageUrl)
{
    HarvestSettings settings;
    settings.allowPrivate = true;
    settings.threads = 4;
    settings.timeoutSeconds = 5;
    settings.connectTimeoutSeconds = 2;
    settings.testUrl = pageUrl;
    settings.expect = "engine";
    return settings;
}

// served.Count() every 10 ms while run runs on a thread of its own.
std::vector<size_t> CountsWhile(const ServedList& served, const std::function<void()>& run)
{
    std::atomic<bool> done{false};
    std::thread runner([&] {
        run();
        done = true;
    });
    std::vector<size_t> counts;
    while (!done) {
        counts.push_back(served.Count());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    runner.join();
    counts.push_back(served.Count());
    return counts;
}

bool WaitFor(const std::function<bool()>& condition, int seconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
}

CProxyList Served(ServedList& served, const std::string& caller = std::string())
{
    return ParseCheckInput(*served.Answer(caller)).proxies;
}

TEST(HarvestRound, ServesProxiesAsTheyPassAndNeverFewerWhileARoundRuns)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    std::string quick, slow;
    for (int i = 0; i < 3; ++i)
        quick += Line(fixture.AddSocks({}));
    for (int i = 0; i < 2; ++i)
        slow += Line(fixture.AddSocks({}));
    TempDir dir;
    // About 40 bytes, one every 25 ms: the slow source takes a second.
    RawHttpServer trickle(RawHttpServer::HttpAnswer(slow), RawHttpServer::Mode::Trickle, 25);
    HarvestSettings settings = LoopbackSettings(SocksFixture::PageUrl(page));
    settings.sources = {dir.WriteFile("quick.txt", quick),
                        "http://127.0.0.1:" + std::to_string(trickle.Port()) + "/list.txt"};
    const CountryLookup countries;
    ServedList served;
    Harvester harvester(settings, countries, served);

    std::vector<size_t> counts = CountsWhile(served, [&] { EXPECT_EQ(harvester.RunRound(), 5); });
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    // The quick source's proxies were served while the slow source still came.
    EXPECT_GT(std::count(counts.begin(), counts.end(), 3u), 5) << "a slow source held back the others";
    EXPECT_EQ(served.Count(), 5u);

    // The next round serves the earlier list beside its own until it has ended.
    counts = CountsWhile(served, [&] { harvester.RunRound(); });
    EXPECT_EQ(*std::min_element(counts.begin(), counts.end()), 5u);
}

TEST(HarvestRound, AFailedSourceIsFetchedAgainAndItsProxiesServed)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    const int good = fixture.AddSocks({});
    TempDir dir;
    HarvestSettings settings = LoopbackSettings(SocksFixture::PageUrl(page));
    settings.sources = {dir.File("later.txt")};
    settings.intervalSeconds = 3600;
    settings.retrySeconds = 1;  // 60 in the service
    const CountryLookup countries;
    ServedList served;
    Harvester harvester(settings, countries, served);
    harvester.Start();
    ASSERT_TRUE(WaitFor([&] { return harvester.Status().find("rounds: 1\n") != std::string::npos; }, 10));
    EXPECT_NE(harvester.Status().find("retrying: 1\n"), std::string::npos) << harvester.Status();
    EXPECT_EQ(served.Count(), 0u);

    dir.WriteFile("later.txt", Line(good));
    EXPECT_TRUE(WaitFor([&] { return served.Count() == 1; }, 10)) << harvester.Status();
    EXPECT_NE(harvester.Status().find("retrying: 0\n"), std::string::npos) << harvester.Status();
    harvester.Stop();
}

TEST(HarvestRound, ProxiesAreServedWithTheVersionsTheySpeakWhateverTheSourceSays)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    const int socks5 = fixture.AddSocks({Protocol::Socks5, Action::Relay, 0, {}, 100});
    const int socks5Untyped = fixture.AddSocks({Protocol::Socks5, Action::Relay, 0, {}, 100});
    const int socks4 = fixture.AddSocks({Protocol::Socks4, Action::Relay, 0, {}, 100});
    const int both = fixture.AddSocks({Protocol::Both, Action::Relay, 0, {}, 100});
    TempDir dir;
    HarvestSettings settings = LoopbackSettings(SocksFixture::PageUrl(page));
    settings.sources = {dir.WriteFile("list.txt", Line(socks5, "socks5://") + Line(socks5Untyped) + Line(socks4)
                                                      + Line(both, "socks5://"))};
    const CountryLookup countries;
    ServedList served;
    Harvester harvester(settings, countries, served);
    ASSERT_EQ(harvester.RunRound(), 4);
    std::set<std::pair<int, int>> portAndType;
    for (const CProxy& proxy : Served(served))
        portAndType.insert({proxy.port, proxy.type});
    EXPECT_EQ(portAndType, (std::set<std::pair<int, int>>{{socks5, 2}, {socks5Untyped, 2}, {socks4, 1}, {both, 3}}));
}

TEST(HarvestCaps, PerSourceAndPerRoundAndLinesAcrossReads)
{
    TempDir dir;
    std::string five, three, many;
    for (int i = 1; i <= 5; ++i)
        five += "11.0.0." + std::to_string(i) + ":1080\n";
    for (int i = 1; i <= 3; ++i)
        three += "12.0.0." + std::to_string(i) + ":1080\n";
    for (int i = 0; i < 10000; ++i)  // about 170 KB: lines cut between reads
        many += "13.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + ":" + std::to_string(1024 + i)
                + "\r\n";
    SourceLimits limits;
    limits.maxProxies = 3;
    const std::vector<SourceResult> fetched =
        FetchSources({dir.WriteFile("five.txt", five), dir.WriteFile("three.txt", three)}, limits);
    ASSERT_TRUE(fetched[0].ok && fetched[1].ok);
    EXPECT_TRUE(fetched[0].capped);
    EXPECT_EQ(fetched[0].proxies.size(), 3u);
    EXPECT_FALSE(fetched[1].capped);

    const CountryLookup countries;
    HarvestCounts counts;
    EXPECT_EQ(MergeSources(fetched, false, countries, counts, 4).size(), 4u);
    EXPECT_EQ(counts.cappedSources, 1);
    EXPECT_EQ(counts.overRoundCap, 2);

    const std::vector<SourceResult> large = FetchSources({dir.WriteFile("many.txt", many)}, SourceLimits());
    ASSERT_TRUE(large[0].ok);
    EXPECT_EQ(large[0].proxies.size(), 10000u);
    EXPECT_EQ(large[0].skippedLines, 0);
    EXPECT_EQ(large[0].proxies.back().port, 1024 + 9999);
}

CProxyList WithSpeeds(const std::vector<int>& speeds)
{
    CProxyList list;
    for (size_t i = 0; i < speeds.size(); ++i)
        list.emplace_back(("14.0.0." + std::to_string(i + 1)).c_str(), 1080, -1, 1, 0, speeds[i]);
    return list;
}

std::vector<int> SpeedsOf(const CProxyList& list)
{
    std::vector<int> speeds;
    for (const CProxy& proxy : list)
        speeds.push_back(proxy.speed);
    return speeds;
}

TEST(ServedTurns, FastestFirstThenTheNextOnesForEachCaller)
{
    ServedList served(4);
    served.Publish(WithSpeeds({900, 100, 500, 300, 700, 200, 800, 400, 1000, 600}));
    using Speeds = std::vector<int>;
    EXPECT_EQ(SpeedsOf(Served(served, "a")), (Speeds{100, 200, 300, 400}));
    EXPECT_EQ(SpeedsOf(Served(served, "a")), (Speeds{500, 600, 700, 800}));
    EXPECT_EQ(SpeedsOf(Served(served, "b")), (Speeds{100, 200, 300, 400}));
    EXPECT_EQ(SpeedsOf(Served(served, "a")), (Speeds{900, 1000}));
    EXPECT_EQ(SpeedsOf(Served(served, "a")), (Speeds{100, 200, 300, 400}));  // every one given: a new turn
    served.BeginTurn("b");
    EXPECT_EQ(SpeedsOf(Served(served, "b")), (Speeds{100, 200, 300, 400}));
    // A faster proxy found later comes next; the ones given stay given.
    CProxyList more = WithSpeeds({900, 100, 500, 300, 700, 200, 800, 400, 1000, 600});
    more.emplace_back("15.0.0.1", 1080, -1, 1, 0, 50);
    served.Publish(more);
    EXPECT_EQ(SpeedsOf(Served(served, "b")), (Speeds{50, 500, 600, 700}));

    // While fewer than the serve count are kept, each answer holds those not
    // given yet, and every one again once all were given.
    ServedList growing(4);
    growing.Publish(WithSpeeds({300, 100}));
    EXPECT_EQ(SpeedsOf(Served(growing, "a")), (Speeds{100, 300}));
    growing.Publish(WithSpeeds({300, 100, 200, 400, 500}));
    EXPECT_EQ(SpeedsOf(Served(growing, "a")), (Speeds{200, 400, 500}));
    EXPECT_EQ(SpeedsOf(Served(growing, "a")), (Speeds{100, 200, 300, 400}));

    ServedList all;  // no serve count: every proxy, every time
    all.Publish(more);
    EXPECT_EQ(Served(all, "a").size(), 11u);
    EXPECT_EQ(Served(all, "a").size(), 11u);
}

TEST(ServedTurns, AHarvestOf2000WorkingProxiesServesTheFastestInTurns)
{
    ASSERT_GE(RaiseOpenFileLimit(12000), 12000u) << "the open-file limit is too low for 2,000 proxies";
    CrowdFixture crowd;
    const int page = crowd.AddPage();
    TempDir dir;
    std::string list;
    for (int i = 0; i < 2000; ++i) {
        const int port = crowd.AddProxy(CrowdFixture::Kind::Relay, i % 4 * 400);
        ASSERT_NE(port, 0);
        list += Line(port);
    }
    HarvestSettings settings = LoopbackSettings("http://127.0.0.1:" + std::to_string(page) + "/");
    settings.sources = {dir.WriteFile("list.txt", list)};
    settings.threads = 400;
    settings.timeoutSeconds = 20;
    // 4,000 connections at once on the fixture's one thread: a 2 s connect
    // bound against delays of up to 1.2 s would fail proxies on a busy machine.
    settings.connectTimeoutSeconds = 0;
    const CountryLookup countries;
    ServedList served(300);
    Harvester harvester(settings, countries, served);
    ASSERT_EQ(harvester.RunRound(), 2000);

    const CProxyList first = Served(served, "127.0.0.1");
    const CProxyList second = Served(served, "127.0.0.1");
    ASSERT_EQ(first.size(), 300u);
    ASSERT_EQ(second.size(), 300u);
    const std::vector<int> firstSpeeds = SpeedsOf(first), secondSpeeds = SpeedsOf(second);
    EXPECT_TRUE(std::is_sorted(firstSpeeds.begin(), firstSpeeds.end()));
    EXPECT_TRUE(std::is_sorted(secondSpeeds.begin(), secondSpeeds.end()));
    EXPECT_LE(firstSpeeds.back(), secondSpeeds.front());
    std::set<int> ports;
    for (const CProxy& proxy : first)
        ports.insert(proxy.port);
    for (const CProxy& proxy : second)
        EXPECT_EQ(ports.count(proxy.port), 0u) << "served twice: " << proxy.port;
}
}  // namespace
