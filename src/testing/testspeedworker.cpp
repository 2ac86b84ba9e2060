#include "testing/testspeedworker.h"

#include <algorithm>
#include <array>

#include "testing/answercheck.h"
#include "testing/speedtally.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"

namespace {
constexpr int kTypeSocks4 = 1;
constexpr int kTypeSocks4And5 = 3;

// How long a job still waits for its SOCKS5 probe once the five SOCKS4
// fetches have ended. The probe starts with them and costs one round trip
// more (the method negotiation before the request), so a proxy that speaks
// SOCKS5 ends it about one round trip after its slowest SOCKS4 fetch. A
// fetch takes at least three round trips (connect, SOCKS request, HTTP), so
// a third of the slowest fetch covers that round trip; the floor of 500 ms
// covers the round trip to any continent and the scheduling jitter of a
// loaded machine. A SOCKS4-only proxy that holds the SOCKS5 greeting open
// then costs that grace, not a whole timeout.
constexpr auto kProbeGraceFloor = std::chrono::milliseconds(500);

bool IsGoodAnswer(const CTestFetch& fetch, const TestTarget& target)
{
    return fetch.BroughtText() && !ContainsRejectWord(fetch.body.data)
           && ContainsNoCase(fetch.body.data, target.expected.c_str());
}

// One proxy: five SOCKS4 fetches rate it, a SOCKS5 probe sets its type.
class CSpeedJob : public CTestJob {
public:
    CSpeedJob(CWorker& worker, const CProxy& proxy) : worker_(worker), proxy_(proxy) {}

    void Start(CTransferLoop& loop) override
    {
        started_ = Clock::now();
        // A record without a valid address and port fails untested.
        if (!proxy_.IsUsable() || !ReadTestTarget(worker_, target_))
            return;
        for (auto& fetch : socks4_)
            fetch = Launch(loop, CURLPROXY_SOCKS4);
        // Browsers speak SOCKS5 to the proxy_ too; this probe_ only sets the type.
        probe_ = Launch(loop, CURLPROXY_SOCKS5);
        if (socks4Running_ == 0)
            graceEnd_ = started_ + kProbeGraceFloor;
    }

    void TransferEnded(CTestFetch& fetch) override
    {
        if (&fetch != probe_.get() && --socks4Running_ == 0)
            graceEnd_ = Clock::now() + std::max<Clock::duration>(kProbeGraceFloor, (Clock::now() - started_) / 3);
    }

    bool Ended() const override { return socks4Running_ == 0 && (!probe_ || !probe_->loop); }

    Clock::time_point Deadline() const override { return socks4Running_ == 0 ? graceEnd_ : kNoDeadline; }

    void Finish() override
    {
        CSpeedTally tally;
        for (const auto& fetch : socks4_) {
            if (!fetch || !fetch->BroughtText())
                continue;
            if (ContainsRejectWord(fetch->body.data))
                tally.AddRejected();
            else if (ContainsNoCase(fetch->body.data, target_.expected.c_str()))
                tally.AddSuccess(fetch->Milliseconds());
        }
        if (tally.Passed()) {
            tally.WriteTo(proxy_);
            // A probe_ still running after the grace counts as failed.
            proxy_.type = IsGoodAnswer(*probe_, target_) ? kTypeSocks4And5 : kTypeSocks4;
            worker_.AddPassed(proxy_);
        }
        worker_.ReportProgress(1);
    }

private:
    std::unique_ptr<CTestFetch> Launch(CTransferLoop& loop, curl_proxytype type)
    {
        auto fetch = std::make_unique<CTestFetch>(target_, proxy_, type);
        fetch->job = this;
        loop.Add(*fetch);
        if (fetch->loop && type == CURLPROXY_SOCKS4)
            ++socks4Running_;
        return fetch;
    }

    CWorker& worker_;
    CProxy proxy_;
    TestTarget target_;
    std::array<std::unique_ptr<CTestFetch>, kSpeedFetchCount> socks4_;
    std::unique_ptr<CTestFetch> probe_;
    int socks4Running_ = 0;
    Clock::time_point started_;
    Clock::time_point graceEnd_ = kNoDeadline;
};
}  // namespace

CTestSpeedWorker& GetTestSpeedWorker()
{
    static CTestSpeedWorker worker(ConfiguredThreadCount());
    return worker;
}

void CTestSpeedWorker::Dispatch()
{
    DispatchJobs([this]() -> std::unique_ptr<CTestJob> {
        CProxy proxy;
        if (!TakeNext(proxy))
            return nullptr;
        return std::make_unique<CSpeedJob>(*this, proxy);
    });
}
