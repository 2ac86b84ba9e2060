#include "harvestcheck.h"

#include <algorithm>
#include <cmath>

#include "testing/transfers.h"
#include "testing/versioncheck.h"

namespace {
class ProxyCheckJob : public CTestJob {
public:
    ProxyCheckJob(HarvestCheck& worker, const CProxy& proxy) : worker_(worker), proxy_(proxy) {}

    void Start(CTransferLoop& loop) override
    {
        // An unusable record fails untested.
        if (ReadTestTarget(worker_, target_))
            versions_.Start(loop, *this, target_, {proxy_}, worker_.ConnectTimeoutMs());
    }

    void TransferEnded(CTestFetch&) override { versions_.TransferEnded(); }
    bool Ended() const override { return versions_.Ended(); }
    Clock::time_point Deadline() const override { return versions_.Deadline(); }

    void Finish() override
    {
        if (const CTestFetch* passed = versions_.PassedFetch(0)) {
            proxy_.speed = std::max(1, static_cast<int>(std::lround(passed->Milliseconds())));
            proxy_.type = versions_.TypeOf(0);
            worker_.AddPassed(proxy_);
        }
        worker_.ReportProgress(1);
    }

private:
    HarvestCheck& worker_;
    CProxy proxy_;
    TestTarget target_;
    CVersionCheck versions_;
};
}  // namespace

HarvestCheck::HarvestCheck(int maxJobs, const CSettingTestItem* testSettings, long connectTimeoutMs)
    : CWorker(maxJobs, testSettings), connectTimeoutMs_(connectTimeoutMs)
{}

void HarvestCheck::Dispatch()
{
    DispatchJobs([this]() -> std::unique_ptr<CTestJob> {
        CProxy proxy;
        if (!TakeNext(proxy))
            return nullptr;
        return std::make_unique<ProxyCheckJob>(*this, proxy);
    });
}
