// A run at the width of a public proxy list: a thousand jobs in flight at
// once on one dispatcher, never one more.
#include <gtest/gtest.h>

#include <numeric>
#include <sys/resource.h>

#include "crowdfixture.h"
#include "enginetestharness.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {

constexpr int kJobs = 1000;
constexpr int kProxies = kJobs + 50;

// Per job six client sockets here and six accepted ones in the fixture, plus
// the fixture's listening sockets.
bool RaiseOpenFileLimit(rlim_t needed)
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max < needed)
        return false;
    limit.rlim_cur = std::max(limit.rlim_cur, needed);
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

TEST(WideRun, AThousandJobsInFlightAndNeverMore)
{
    const rlim_t needed = kJobs * 12 + kProxies + 256;
    if (!RaiseOpenFileLimit(needed))
        GTEST_SKIP() << "the open-file limit is below " << needed;
    EngineHarness harness(5);
    CrowdFixture crowd;
    CProxyList list;
    for (int i = 0; i < kProxies; ++i) {
        const int port = crowd.AddProxy(CrowdFixture::Kind::Silent);
        ASSERT_GT(port, 0);
        list.push_back(EngineHarness::Proxy(port));
    }
    const CProxyList all = list;
    CTestSpeedWorker worker(kJobs, &harness.settings);
    ASSERT_TRUE(RunTest(worker, list, &harness.progress));

    EXPECT_TRUE(list.empty());
    // Every job held its proxy's connections until its timeout, so the first
    // thousand were all open at once, and the fifty others waited for a slot.
    EXPECT_EQ(crowd.PeakBusyPorts(), kJobs);
    for (const CProxy& proxy : all)
        ASSERT_EQ(crowd.Accepted(proxy.port), 6) << proxy.port;
    const auto counts = harness.progress.Counts();
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0LL), kProxies);
    EXPECT_EQ(worker.ActiveJobs(), 0);
}

}  // namespace
