#include "testing/checkanonymousworker.h"

#include "testing/answercheck.h"
#include "testing/testflags.h"
#include "testing/transfers.h"
#include "testing/workersettings.h"

CCheckAnonymousWorker& GetCheckAnonymousWorker()
{
    static CCheckAnonymousWorker worker(ConfiguredThreadCount());
    return worker;
}

void CheckAnonymousDispatcher(CWorker& worker)
{
    DispatchJobs(worker, [&worker]() -> std::function<void()> {
        CProxyList batch;
        CProxy proxy;
        while (static_cast<int>(batch.size()) < kAvailabilityBatchSize && TakeNext(worker, proxy))
            batch.push_back(proxy);
        if (batch.empty())
            return {};
        return [&worker, batch = std::move(batch)] { CheckAnonymousBatch(worker, batch); };
    });
}

void CheckAnonymousBatch(CWorker& worker, const CProxyList& batch)
{
    const int count = static_cast<int>(batch.size());
    if (count > kAvailabilityBatchSize)
        return;
    TestTarget target;
    if (ReadTestTarget(worker, target)) {
        CFetchGroup group;
        for (const CProxy& proxy : batch)
            group.Add(target, proxy, CURLPROXY_SOCKS4);
        group.Run();
        auto proxy = batch.begin();
        for (const auto& fetch : group.Fetches()) {
            if (fetch->BroughtText() && ContainsNoCase(fetch->body.data, target.expected.c_str())) {
                std::lock_guard<std::mutex> lock(worker.passedLock);
                worker.passedProxies.push_back(*proxy);
            }
            ++proxy;
        }
    }
    PostTestProgress(count);
}
