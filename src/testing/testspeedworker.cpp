#include "testing/testspeedworker.h"

#include "testing/answercheck.h"
#include "testing/speedtally.h"
#include "testing/testflags.h"
#include "testing/transfers.h"
#include "testing/workersettings.h"

namespace {
constexpr int kTypeSocks4 = 1;
constexpr int kTypeSocks4And5 = 3;

bool IsGoodAnswer(const CTestFetch& fetch, const TestTarget& target)
{
    return fetch.BroughtText() && !ContainsRejectWord(fetch.body.data)
        && ContainsNoCase(fetch.body.data, target.expected.c_str());
}
}  // namespace

CTestSpeedWorker& GetTestSpeedWorker()
{
    static CTestSpeedWorker worker(ConfiguredThreadCount());
    return worker;
}

void TestSpeedDispatcher(CWorker& worker)
{
    DispatchJobs(worker, [&worker]() -> std::function<void()> {
        CProxy proxy;
        if (!TakeNext(worker, proxy))
            return {};
        return [&worker, proxy] { TestSpeedJob(worker, proxy); };
    });
}

void TestSpeedJob(CWorker& worker, CProxy proxy)
{
    TestTarget target;
    if (ReadTestTarget(worker, target)) {
        CFetchGroup group;
        for (int i = 0; i < kSpeedFetchCount; ++i)
            group.Add(target, proxy, CURLPROXY_SOCKS4);
        // Browsers speak SOCKS5 to the proxy too; this probe only sets the type.
        const CTestFetch& socks5Probe = group.Add(target, proxy, CURLPROXY_SOCKS5);
        group.Run();

        CSpeedTally tally;
        for (const auto& fetch : group.Fetches()) {
            if (fetch.get() == &socks5Probe || !fetch->BroughtText())
                continue;
            if (ContainsRejectWord(fetch->body.data))
                tally.AddRejected();
            else if (ContainsNoCase(fetch->body.data, target.expected.c_str()))
                tally.AddSuccess(fetch->Milliseconds());
        }
        if (tally.Passed()) {
            tally.WriteTo(proxy);
            proxy.type = IsGoodAnswer(socks5Probe, target) ? kTypeSocks4And5 : kTypeSocks4;
            std::lock_guard<std::mutex> lock(worker.passedLock);
            worker.passedProxies.push_back(proxy);
        }
    }
    PostTestProgress(1);
}
