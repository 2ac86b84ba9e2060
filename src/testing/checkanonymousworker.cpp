#include "testing/checkanonymousworker.h"

#include "testing/transfers.h"
#include "testing/versioncheck.h"

namespace {
// Up to five proxies, each fetched once through SOCKS4 and once through
// SOCKS5, all side by side.
class CBatchJob : public CTestJob {
public:
    CBatchJob(CWorker& worker, CProxyList batch) : worker_(worker), batch_(std::move(batch)) {}

    void Start(CTransferLoop& loop) override
    {
        if (ReadTestTarget(worker_, target_))
            versions_.Start(loop, *this, target_, batch_);
    }

    void TransferEnded(CTestFetch&) override { versions_.TransferEnded(); }
    bool Ended() const override { return versions_.Ended(); }
    Clock::time_point Deadline() const override { return versions_.Deadline(); }

    void Finish() override
    {
        size_t i = 0;
        for (CProxy proxy : batch_) {
            proxy.type = versions_.TypeOf(i++);
            if (proxy.type != kTypeSocks)
                worker_.AddPassed(proxy);
        }
        worker_.ReportProgress(static_cast<int>(batch_.size()));
    }

private:
    CWorker& worker_;
    const CProxyList batch_;
    TestTarget target_;
    CVersionCheck versions_;
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
