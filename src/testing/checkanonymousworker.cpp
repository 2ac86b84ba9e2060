#include "testing/checkanonymousworker.h"

#include <vector>

#include "testing/answercheck.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

namespace {
// Up to five proxies, one fetch each, side by side.
class CBatchJob : public CTestJob {
public:
    CBatchJob(CWorker& worker, CProxyList batch) : worker(worker), batch(std::move(batch)) {}

    void Start(CTransferLoop& loop) override
    {
        if (!ReadTestTarget(worker, target))
            return;
        for (const CProxy& proxy : batch) {
            // A record without a valid address and port fails untested.
            if (!proxy.IsUsable()) {
                fetches.emplace_back();
                continue;
            }
            fetches.push_back(std::make_unique<CTestFetch>(target, proxy, CURLPROXY_SOCKS4));
            fetches.back()->job = this;
            loop.Add(*fetches.back());
            running += fetches.back()->loop ? 1 : 0;
        }
    }

    void TransferEnded(CTestFetch&) override { --running; }
    bool Ended() const override { return running == 0; }

    void Finish() override
    {
        auto fetch = fetches.begin();
        for (const CProxy& proxy : batch) {
            if (fetch == fetches.end())
                break;
            const CTestFetch* done = (fetch++)->get();
            if (done && done->BroughtText() && ContainsNoCase(done->body.data, target.expected.c_str()))
                worker.AddPassed(proxy);
        }
        worker.ReportProgress(static_cast<int>(batch.size()));
    }

private:
    CWorker& worker;
    const CProxyList batch;
    TestTarget target;
    std::vector<std::unique_ptr<CTestFetch>> fetches;  // in batch order; none for an untested record
    int running = 0;
};
}  // namespace

CCheckAnonymousWorker& GetCheckAnonymousWorker()
{
    static CCheckAnonymousWorker worker(ConfiguredThreadCount());
    return worker;
}

void CCheckAnonymousWorker::Dispatch()
{
    DispatchJobs([this]() -> std::unique_ptr<CTestJob> {
        CProxyList batch;
        CProxy proxy;
        while (static_cast<int>(batch.size()) < kAvailabilityBatchSize && TakeNext(proxy))
            batch.push_back(proxy);
        if (batch.empty())
            return nullptr;
        return std::make_unique<CBatchJob>(*this, std::move(batch));
    });
}
