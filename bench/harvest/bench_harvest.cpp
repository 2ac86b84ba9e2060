// bench_harvest: the service's harvest of 20,000 ip:port lines from 5
// loopback sources: fetching, then merging, filtering and looking up the
// countries. Prints the figures of five rounds and their median; the target
// for a whole harvest is under one second.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "countrylookup.h"
#include "harvest.h"
#include "sourcefetch.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kSources = 5;
constexpr int kLines = 20000;

double Ms(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

// 20,000 lines over 5 sources: mostly public addresses, about one in twenty
// a duplicate of an earlier line and one in fifty from a private range.
std::vector<std::string> MakeLists()
{
    std::mt19937 random(20240601);
    std::vector<std::string> lists(kSources);
    std::vector<std::string> lines;
    for (int i = 0; i < kLines; ++i) {
        std::string line;
        if (!lines.empty() && random() % 20 == 0) {
            line = lines[random() % lines.size()];
        } else if (random() % 50 == 0) {
            line = "192.168." + std::to_string(random() % 256) + "." + std::to_string(random() % 256) + ":1080";
        } else {
            line = std::to_string(1 + random() % 223) + "." + std::to_string(random() % 256) + "."
                   + std::to_string(random() % 256) + "." + std::to_string(1 + random() % 254) + ":"
                   + std::to_string(1024 + random() % 60000);
        }
        lines.push_back(line);
        lists[static_cast<size_t>(i % kSources)] += line + "\n";
    }
    return lists;
}
}  // namespace

int main()
{
    const std::vector<std::string> lists = MakeLists();
    std::vector<std::unique_ptr<httplib::Server>> servers;
    std::vector<std::thread> threads;
    std::vector<std::string> urls;
    for (const std::string& list : lists) {
        auto server = std::make_unique<httplib::Server>();
        server->Get("/list.txt", [&list](const httplib::Request&, httplib::Response& res) {
            // Not a text/ type, so that the server spends no time compressing it:
            // the figures are the harvest's own.
            res.set_content(list, "application/octet-stream");
        });
        const int port = server->bind_to_any_port("127.0.0.1");
        urls.push_back("http://127.0.0.1:" + std::to_string(port) + "/list.txt");
        threads.emplace_back([raw = server.get()] { raw->listen_after_bind(); });
        servers.push_back(std::move(server));
    }
    // The ports are bound already: a connection made before a server listens waits in its backlog.

    CountryLookup countries;
    std::string error;
    const auto loadStart = Clock::now();
    const bool haveDatabase = countries.LoadDatabase(DefaultLocationDatabasePath(), error);
    countries.LoadCatalogue(VELMORA_RUN_DIR "/countries.nbx", error);
    const double loadMs = Ms(Clock::now() - loadStart);
    std::printf("bench_harvest: %d ip:port lines from %d loopback sources\n", kLines, kSources);
    std::printf("geoip database loaded once at start: %.1f ms%s\n", loadMs,
                haveDatabase ? "" : " (missing: no countries looked up)");

    std::vector<double> totals;
    for (int round = 1; round <= 5; ++round) {
        const auto start = Clock::now();
        const std::vector<SourceText> fetched = FetchSources(urls, SourceLimits());
        const auto fetchedAt = Clock::now();
        HarvestCounts counts;
        const CProxyList merged = MergeSources(fetched, false, countries, counts);
        const auto end = Clock::now();
        const long known = std::count_if(merged.begin(), merged.end(), [](const CProxy& p) { return p.country >= 0; });
        std::printf("round %d: fetch %.1f ms, merge+filter+countries %.1f ms, total %.1f ms; %d proxies kept "
                    "(%d duplicates, %d reserved dropped, %ld with a country)\n",
                    round, Ms(fetchedAt - start), Ms(end - fetchedAt), Ms(end - start), counts.harvested,
                    counts.duplicates, counts.reserved, known);
        totals.push_back(Ms(end - start));
    }
    std::sort(totals.begin(), totals.end());
    std::printf("median harvest: %.1f ms (target < 1000 ms): %s\n", totals[2], totals[2] < 1000 ? "met" : "MISSED");

    for (auto& server : servers)
        server->stop();
    for (std::thread& thread : threads)
        thread.join();
    return 0;
}
