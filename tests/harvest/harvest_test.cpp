// The service's harvest: sources in every list format and the ways sources
// fail, merging, the reserved ranges, the country lookup from the
// packaged database, the served list's swap, and the availability check
// keeping exactly the proxies that work. Everything on loopback.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "addressfilter.h"
#include "checkinput.h"
#include "countrylookup.h"
#include "data/countrycatalogue.h"
#include "data/proxy.h"
#include "harvest.h"
#include "harvester.h"
#include "servedlist.h"
#include "servicelog.h"
#include "socksfixture.h"
#include "sourcefetch.h"
#include "support/scriptedserver.h"
#include "support/tempdir.h"

namespace {

std::string RunFile(const std::string& name)
{
    return std::string(VELMORA_TOOLS_DIR) + "/" + name;
}

// The packaged database and the build's catalogue, or a skip when the
// database package is missing.
bool LoadCountries(CountryLookup& countries)
{
    std::string error;
    return countries.LoadDatabase(DefaultLocationDatabasePath(), error)
           && countries.LoadCatalogue(RunFile("countries.nbx"), error);
}

int CatalogueIndex(const std::string& code)
{
    CCountryCatalogue catalogue;
    catalogue.Load(RunFile("countries.nbx"));
    for (int i = 0; i < catalogue.Count(); ++i)
        if (catalogue.EntryAt(i)->code == code)
            return i;
    return -1;
}

// A loopback port where nothing listens.
int ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

std::string Url(int port)
{
    return "http://127.0.0.1:" + std::to_string(port) + "/list.txt";
}

std::vector<std::string> Entries(const CProxyList& list)
{
    std::vector<std::string> entries;
    for (const CProxy& proxy : list)
        entries.push_back(std::string(proxy.ip) + ":" + std::to_string(proxy.port) + "/" + std::to_string(proxy.type));
    return entries;
}

TEST(HarvestSources, EveryFormatIsReadAndNoBadSourceStopsTheOthers)
{
    CountryLookup countries;
    if (!LoadCountries(countries))
        GTEST_SKIP() << "no location database at " << DefaultLocationDatabasePath()
                     << " (Debian package libloc-database)";
    TempDir dir;
    RawHttpServer plain(RawHttpServer::HttpAnswer("# a public list\n8.8.8.8:1080\n 193.0.6.139:1080 \nnot a proxy\n\n"),
                        RawHttpServer::Mode::Answer);
    // Slow but moving: one byte every 5 ms is still a source.
    RawHttpServer slow(RawHttpServer::HttpAnswer("socks4://80.67.169.12:4145\r\nsocks5://8.8.8.8:1080\r\n"),
                       RawHttpServer::Mode::Trickle, 5);
    const std::string listFile = dir.WriteFile("list.txt", "194.0.0.53\t1080\t7\t1\t5\t300\r\n");
    RawHttpServer broken("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 16\r\nConnection: close\r\n\r\n"
                         "9.9.9.9:1080\n\n\n\n",
                         RawHttpServer::Mode::Answer);
    std::string endlessBody;
    while (endlessBody.size() < 64 * 1024)
        endlessBody += "9.9.9.9:1080\n";
    RawHttpServer endless(RawHttpServer::HttpAnswer(endlessBody), RawHttpServer::Mode::Answer);
    RawHttpServer silent("", RawHttpServer::Mode::Silent);
    // A FIFO without a writer would block a reader for good: refused.
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);

    SourceLimits limits;
    limits.maxBytes = 16 * 1024;
    limits.lowSpeedTimeSeconds = 1;
    limits.connectTimeoutSeconds = 2;
    const std::vector<std::string> sources = {Url(plain.Port()),  Url(slow.Port()),        listFile,
                                              Url(broken.Port()), Url(endless.Port()),     Url(silent.Port()),
                                              Url(ClosedPort()),  dir.File("missing.txt"), dir.File("fifo")};
    const std::vector<SourceResult> fetched = FetchSources(sources, limits);
    ASSERT_EQ(fetched.size(), sources.size());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(fetched[i].ok) << sources[i] << ": " << fetched[i].error;
    for (size_t i = 3; i < sources.size(); ++i)
        EXPECT_FALSE(fetched[i].ok) << sources[i];
    EXPECT_NE(fetched[4].error.find("larger than"), std::string::npos) << fetched[4].error;
    EXPECT_NE(fetched[8].error.find("not a regular file"), std::string::npos) << fetched[8].error;

    HarvestCounts counts;
    const CProxyList merged = MergeSources(fetched, false, countries, counts);
    // Source order, the first occurrence of 8.8.8.8:1080 wins across sources.
    EXPECT_EQ(Entries(merged), (std::vector<std::string>{"8.8.8.8:1080/0", "193.0.6.139:1080/0", "80.67.169.12:4145/1",
                                                         "194.0.0.53:1080/1"}));
    EXPECT_EQ(counts.sources, 9);
    EXPECT_EQ(counts.failedSources, 6);
    EXPECT_EQ(counts.duplicates, 1);
    EXPECT_EQ(counts.skippedLines, 1);
    // Countries come from the database, not from the list line's own field.
    std::vector<int> found;
    for (const CProxy& proxy : merged)
        found.push_back(proxy.country);
    EXPECT_EQ(found, (std::vector<int>{CatalogueIndex("US"), CatalogueIndex("NL"), CatalogueIndex("FR"),
                                       CatalogueIndex("DE")}));
}

TEST(HarvestSources, RedirectsLeadToReservedAddressesOnlyWhenTheHarvestKeepsThem)
{
    RawHttpServer target(RawHttpServer::HttpAnswer("8.8.8.8:1080\n"), RawHttpServer::Mode::Answer);
    RawHttpServer redirect("HTTP/1.1 302 Found\r\nLocation: " + Url(target.Port())
                               + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                           RawHttpServer::Mode::Answer);
    SourceLimits limits;
    limits.connectTimeoutSeconds = 2;
    const std::vector<SourceResult> refused = FetchSources({Url(redirect.Port())}, limits);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_FALSE(refused[0].ok);
    EXPECT_EQ(refused[0].error, "redirected to a reserved address");
    EXPECT_EQ(target.Connections(), 0);

    limits.redirectsToReserved = true;
    const std::vector<SourceResult> followed = FetchSources({Url(redirect.Port())}, limits);
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_TRUE(followed[0].ok) << followed[0].error;
    ASSERT_EQ(followed[0].proxies.size(), 1u);
    EXPECT_EQ(std::string(followed[0].proxies.front().ip), "8.8.8.8");
}

TEST(ServiceLog, KeepsTheLogUnderItsCapAndRequestTextsShort)
{
    TempDir dir;
    const int savedStderr = dup(STDERR_FILENO);
    LogFile log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.File("service.log"), 100, error)) << error;
    for (int i = 0; i < 30; ++i) {
        std::fprintf(stderr, "line %02d of the log\n", i);
        log.KeepUnderCap();
    }
    std::fputs("the last line\n", stderr);
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    EXPECT_LT(dir.ReadFile("service.log").size(), 100u);
    EXPECT_GE(dir.ReadFile("service.log.1").size(), 100u);
    EXPECT_NE(dir.ReadFile("service.log").find("the last line"), std::string::npos);

    EXPECT_EQ(LogText("/velmora/start.php"), "/velmora/start.php");
    EXPECT_EQ(LogText("/a\r\nb\x7f\xe9", 10), "/a??b??");
    EXPECT_EQ(LogText(std::string(500, 'p'), 10), "ppppppp...");
}

TEST(HarvestFilter, SpecialPurposeRangesAreDroppedUnlessPrivateIsAllowed)
{
    const std::vector<std::string> special = {"0.1.2.3",    "10.0.0.1",        "100.64.0.1",   "100.127.255.254",
                                              "127.0.0.1",  "169.254.1.1",     "172.16.0.1",   "172.31.255.254",
                                              "192.0.0.8",  "192.0.2.1",       "192.88.99.1",  "192.168.1.1",
                                              "198.18.0.1", "198.19.255.254",  "198.51.100.7", "203.0.113.9",
                                              "224.0.0.1",  "239.255.255.250", "240.0.0.1",    "255.255.255.255"};
    // The neighbours of those ranges are public.
    const std::vector<std::string> open = {"9.255.255.255",  "11.0.0.1",   "100.63.255.254", "100.128.0.1",
                                           "172.15.255.254", "172.32.0.1", "192.0.1.1",      "192.0.3.1",
                                           "198.17.255.254", "198.20.0.1", "203.0.112.1",    "223.255.255.254"};
    std::string text;
    for (const std::string& address : special)
        text += address + ":1080\n";
    for (const std::string& address : open)
        text += address + ":1080\n";
    SourceResult source;
    source.ok = true;
    source.proxies = ParseCheckInput(text).proxies;

    const CountryLookup noCountries;
    HarvestCounts counts;
    const CProxyList kept = MergeSources({source}, false, noCountries, counts);
    std::vector<std::string> keptAddresses;
    for (const CProxy& proxy : kept)
        keptAddresses.push_back(proxy.ip);
    EXPECT_EQ(keptAddresses, open);
    EXPECT_EQ(counts.reserved, static_cast<int>(special.size()));

    HarvestCounts allowedCounts;
    EXPECT_EQ(MergeSources({source}, true, noCountries, allowedCounts).size(), special.size() + open.size());
    EXPECT_EQ(allowedCounts.reserved, 0);
    EXPECT_EQ(kept.front().country, -1);  // no database loaded: unknown
}

TEST(HarvestCountries, WellKnownAddressesFromThePackagedDatabase)
{
    CountryLookup countries;
    if (!LoadCountries(countries))
        GTEST_SKIP() << "no location database at " << DefaultLocationDatabasePath()
                     << " (Debian package libloc-database)";
    const struct {
        const char* address;
        const char* code;
    } known[] = {{"8.8.8.8", "US"}, {"193.0.6.139", "NL"}, {"80.67.169.12", "FR"}};
    for (const auto& entry : known) {
        uint32_t address = 0;
        ASSERT_TRUE(ParseIpv4(entry.address, address));
        EXPECT_EQ(countries.CodeOf(address), entry.code) << entry.address;
        EXPECT_EQ(countries.IndexOf(address), CatalogueIndex(entry.code)) << entry.address;
    }
    uint32_t loopback = 0;
    ParseIpv4("127.0.0.1", loopback);
    EXPECT_EQ(countries.CodeOf(loopback), "");
    EXPECT_EQ(countries.IndexOf(loopback), -1);

    // A file in Tor's geoip format (tor-geoipdb, where a user has it) still loads in its place.
    TempDir dir;
    const std::string torFile =
        dir.WriteFile("geoip", "# Tor's format\n134744064,134744319,US\n3238004224,3238004479,NL\n");
    std::string error;
    ASSERT_TRUE(countries.LoadDatabase(torFile, error)) << error;
    uint32_t address = 0;
    ParseIpv4("8.8.8.8", address);
    EXPECT_EQ(countries.CodeOf(address), "US");
    ParseIpv4("80.67.169.12", address);
    EXPECT_EQ(countries.CodeOf(address), "");
    EXPECT_FALSE(countries.LoadDatabase(dir.WriteFile("empty", "# nothing\n"), error));
}

CProxyList NumberedList(const char* prefix, int count)
{
    CProxyList list;
    for (int i = 1; i <= count; ++i)
        list.emplace_back((std::string(prefix) + std::to_string(i)).c_str(), 1080, -1, 0, 0, kUnmeasuredSpeed);
    return list;
}

TEST(ServedListSwap, ReadersSeeOnlyWholeLists)
{
    ServedList served;
    EXPECT_EQ(*served.Answer(), "Empty");
    const CProxyList small = NumberedList("11.0.0.", 50);
    const CProxyList large = NumberedList("12.0.", 400);
    const std::string smallText = FormatProxyList(small);
    const std::string largeText = FormatProxyList(large);

    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!done) {
                const auto answer = served.Answer();
                if (*answer != "Empty" && *answer != smallText && *answer != largeText)
                    ++torn;
                ++reads;
            }
        });
    }
    for (int round = 0; round < 2000; ++round)
        served.Publish(round % 2 ? small : large);
    while (reads < 1000)
        std::this_thread::yield();
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(*served.Answer(), smallText);
    EXPECT_EQ(served.Count(), small.size());
    served.Publish({});
    EXPECT_EQ(*served.Answer(), "Empty");
}

TEST(HarvestVerify, KeepsExactlyTheProxiesThatPassTheAvailabilityCheck)
{
    using Action = SocksBehaviour::Action;
    using Protocol = SocksBehaviour::Protocol;
    SocksFixture fixture;
    const int page = fixture.AddPage();
    const int good = fixture.AddSocks({});
    const int alsoGood = fixture.AddSocks({Protocol::Both, Action::Relay, 0, {}, 100});
    const int socks5Only = fixture.AddSocks({Protocol::Socks5, Action::Relay, 0, {}, 100});
    SocksBehaviour blockPage;
    blockPage.action = Action::Serve;
    blockPage.answers = {HttpAnswer(200, "<html>Access denied</html>")};
    const std::vector<int> bad = {fixture.AddSocks({Protocol::Socks4, Action::Reject, 0, {}, 100}),
                                  fixture.AddSocks({Protocol::Socks4, Action::CloseAtOnce, 0, {}, 100}),
                                  fixture.AddSocks(blockPage), ClosedPort()};
    std::string list = "# fixture proxies\n";
    for (int port : {bad[0], good, bad[1], socks5Only, alsoGood, bad[2], bad[3]})
        list += "127.0.0.1:" + std::to_string(port) + "\n";
    TempDir dir;

    HarvestSettings settings;
    settings.sources = {dir.WriteFile("list.txt", list)};
    settings.allowPrivate = true;
    settings.threads = 2;
    settings.timeoutSeconds = 5;
    settings.testUrl = SocksFixture::PageUrl(page);
    settings.expect = "engine";
    CountryLookup countries;
    ServedList served;
    Harvester harvester(settings, countries, served);
    EXPECT_EQ(harvester.RunRound(), 3);

    // Served with the type of the versions they passed through and the time their fetch took.
    const std::string answer = *served.Answer();
    const CProxyList passed = ParseCheckInput(answer).proxies;
    std::map<int, int> types;
    for (const CProxy& proxy : passed) {
        types[proxy.port] = proxy.type;
        EXPECT_GT(proxy.speed, 0);
        EXPECT_LT(proxy.speed, 5000);
    }
    EXPECT_EQ(types, (std::map<int, int>{{good, 1}, {socks5Only, 2}, {alsoGood, 3}})) << answer;
    EXPECT_NE(harvester.Status().find("rounds: 1\n"), std::string::npos);

    // A round in which every source fails keeps the list served before.
    HarvestSettings gone = settings;
    gone.sources = {dir.File("gone.txt")};
    Harvester unlucky(gone, countries, served);
    EXPECT_EQ(unlucky.RunRound(), -1);
    EXPECT_EQ(*served.Answer(), answer);
}
}  // namespace
