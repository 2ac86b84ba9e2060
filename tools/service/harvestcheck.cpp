#include "harvestcheck.h"

#include <algorithm>
#include <memory>

#include "testing/answercheck.h"
#include "testing/testjob.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

namespace {
constexpr int kTypeSocks4 = 1;
constexpr int kTypeSocks5 = 2;

class ProxyCheckJob : public CTestJob {
public:
    ProxyCheckJob(HarvestCheck& worker, const CProxy& proxy) : worker_(worker), proxy_(proxy) {}

    void Start(CTransferLoop& loop) override
    {
        if (!proxy_.IsUsable() || !ReadTestTarget(worker_, target_))
            return;  // fails untested
        fetch_ = std::make_unique<CTestFetch>(target_, proxy_,
                                              proxy_.type == kTypeSocks5 ? CURLPROXY_SOCKS5 : CURLPROXY_SOCKS4);
        if (fetch_->handle && worker_.ConnectTimeoutMs() > 0)
            curl_easy_setopt(fetch_->handle, CURLOPT_CONNECTTIMEOUT_MS, worker_.ConnectTimeoutMs());
        fetch_->job = this;
        loop.Add(*fetch_);
    }

    bool Ended() const override { return !fetch_ || !fetch_->loop; }

    void Finish() override
    {
        if (fetch_ && fetch_->BroughtText() && ContainsNoCase(fetch_->body.data, target_.expected.c_str())) {
            proxy_.speed = std::max(1, static_cast<int>(fetch_->Milliseconds() + 0.5));
            if (proxy_.type == 0)
                proxy_.type = kTypeSocks4;
            worker_.AddPassed(proxy_);
        }
        worker_.ReportProgress(1);
    }

private:
    HarvestCheck& worker_;
    CProxy proxy_;
    TestTarget target_;
    std::unique_ptr<CTestFetch> fetch_;
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
