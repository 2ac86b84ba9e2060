#include "testing/checkanonymousworker.h"

#include <vector>

#include "testing/answercheck.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

namespace {
// Up to five proxies, one fetch each, side by side.
class CBatchJob : public CTestJob {
public:
    CBatchJob(CWorker& worker, CProxyList batch) : worker_(worker), batch_(std::move(batch)) {}

    void Start(CTransferLoop& loop) override
    {
        if (!ReadTestTarget(worker_, target_))
            return;
        for (const CProxy& proxy : batch_) {
            // A record without a valid address and port fails untested.
            if (!proxy.IsUsable()) {
                fetches_.emplace_back();
                continue;
            }
            fetches_.push_back(std::make_unique<CTestFetch>(target_, proxy, CURLPROXY_SOCKS4));
            fetches_.back()->job = this;
            loop.Add(*fetches_.back());
            running_ += fetches_.back()->loop ? 1 : 0;
        }
    }

    void TransferEnded(CTestFetch&) override { --running_; }
    bool Ended() const override { return running_ == 0; }

    void Finish() override
    {
        auto fetch = fetches_.begin();
        for (const CProxy& proxy : batch_) {
            if (fetch == fetches_.end())
                break;
            const CTestFetch* done = (fetch++)->get();
            if (done && done->BroughtText() && ContainsNoCase(done->body.data, target_.expected.c_str()))
                worker_.AddPassed(proxy);
        }
        worker_.ReportProgress(static_cast<int>(batch_.size()));
    }

private:
    CWorker& worker_;
    const CProxyList batch_;
    TestTarget target_;
    std::vector<std::unique_ptr<CTestFetch>> fetches_;  // in batch_ order; none for an untested record
    int running_ = 0;
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
