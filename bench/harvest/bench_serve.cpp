// bench_serve: how long the program's default speed test (10 jobs, 20 s
// timeout) takes over what Get Proxy brings from a harvest of 2,000 working
// proxies, once for proxies answering after 300 ms and once after 1,500 ms.
// The service serves its default serve count, fastest first; the target is
// under 60 s for both.
#include <chrono>
#include <cstdio>
#include <string>

#include "checkinput.h"
#include "countrylookup.h"
#include "crowdfixture.h"
#include "harvester.h"
#include "openfiles.h"
#include "servedlist.h"
#include "serviceoptions.h"
#include "settings/setting.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kProxies = 2000;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Harvests kProxies relays of delayMs and speed-tests the first answer the
// way the program does after Get Proxy; false when a target is missed.
bool Run(int delayMs, const char* folder)
{
    CrowdFixture crowd;
    const int page = crowd.AddPage();
    std::string list;
    for (int i = 0; i < kProxies; ++i)
        list += "127.0.0.1:" + std::to_string(crowd.AddProxy(CrowdFixture::Kind::Relay, delayMs)) + "\n";
    const std::string listFile = std::string(folder) + "/bench_serve-list.txt";
    if (FILE* file = std::fopen(listFile.c_str(), "w")) {
        std::fputs(list.c_str(), file);
        std::fclose(file);
    }
    const ServiceOptions defaults;
    HarvestSettings settings;  // the service's defaults
    settings.sources = {listFile};
    settings.allowPrivate = true;
    settings.testUrl = "http://127.0.0.1:" + std::to_string(page) + "/";
    settings.expect = "engine";
    const CountryLookup countries;
    ServedList served(static_cast<size_t>(defaults.serveCount));
    Harvester harvester(settings, countries, served);
    const auto harvestStart = Clock::now();
    const int kept = harvester.RunRound();
    const double harvestSeconds = Since(harvestStart);

    CProxyList brought = ParseCheckInput(*served.Answer("127.0.0.1")).proxies;
    const size_t count = brought.size();
    CSettingTestItem test;  // the program's defaults: speed test, 10 jobs, 20 s
    test.testUrl = settings.testUrl;
    test.correctValue = settings.expect;
    CTestSpeedWorker worker(test.threadCount, &test);
    const auto testStart = Clock::now();
    RunTest(worker, brought, nullptr);
    const double testSeconds = Since(testStart);
    std::printf("%d proxies of %d ms: harvest %.1f s (%d kept); Get Proxy brings %zu; the program's speed test "
                "(%d jobs, %d s timeout) %.1f s, %zu passed: %s\n",
                kProxies, delayMs, harvestSeconds, kept, count, test.threadCount, test.timeoutSeconds, testSeconds,
                brought.size(), testSeconds < 60 ? "under 60 s" : "MISSED");
    return testSeconds < 60;
}
}  // namespace

int main()
{
    RaiseOpenFileLimit(4 * kProxies + 256);
    std::printf("bench_serve: serve-count %d (the service's default)\n", ServiceOptions().serveCount);
    const char* folder = "/tmp";
    const bool fast = Run(300, folder);
    const bool slow = Run(1500, folder);
    return fast && slow ? 0 : 1;
}
