#include "testing/testspeedworker.h"

#include <array>

#include "testing/answercheck.h"
#include "testing/speedtally.h"
#include "testing/transferloop.h"
#include "testing/transfers.h"
#include "testing/versioncheck.h"

namespace {
bool IsGoodAnswer(const CTestFetch& fetch, const TestTarget& target)
{
    return fetch.BroughtText() && !ContainsRejectWord(fetch.body.data)
           && ContainsNoCase(fetch.body.data, target.expected.c_str());
}

// One proxy: five SOCKS4 fetches rate it while a SOCKS5 probe finds out
// whether it speaks SOCKS5 too. When no SOCKS4 fetch passed but the probe
// did, five SOCKS5 fetches rate it instead, so that uptime and speed always
// come from five fetches side by side. They start only after the probe has
// passed rather than beside it: most proxies of a public list answer
// neither version, and those keep costing six connections; a SOCKS5-only
// proxy pays with one more round of fetches.
class CSpeedJob : public CTestJob {
public:
    CSpeedJob(CWorker& worker, const CProxy& proxy) : worker_(worker), proxy_(proxy) {}

    void Start(CTransferLoop& loop) override
    {
        loop_ = &loop;
        started_ = Clock::now();
        // A record without a valid address and port fails untested.
        if (!proxy_.IsUsable() || !ReadTestTarget(worker_, target_))
            return;
        for (auto& fetch : rating_)
            fetch = Launch(CURLPROXY_SOCKS4, true);
        probe_ = Launch(CURLPROXY_SOCKS5, false);
        RoundEnded();
    }

    void TransferEnded(CTestFetch& fetch) override
    {
        if (&fetch != probe_.get())
            --ratingRunning_;
        RoundEnded();
    }

    bool Ended() const override
    {
        // A SOCKS4 answer with a reject word fails the proxy whatever the probe brings.
        return ratingRunning_ == 0 && (socks5Round_ || !ProbeRunning() || socks4Tally_.Rejected());
    }

    Clock::time_point Deadline() const override
    {
        // Only a probe that merely sets the type is cut short.
        return ratingRunning_ == 0 && !socks5Round_ && socks4Tally_.Passed() ? graceEnd_ : kNoDeadline;
    }

    void Finish() override
    {
        // What the current round's fetches brought, also when a cancel cut it short.
        const CSpeedTally tally = Tally();
        if (tally.Passed()) {
            tally.WriteTo(proxy_);
            // A probe still running after the grace counts as failed.
            proxy_.type = socks5Round_ ? kTypeSocks5 : ProxyTypeOf(true, IsGoodAnswer(*probe_, target_));
            worker_.AddPassed(proxy_);
        }
        worker_.ReportProgress(1);
    }

private:
    std::unique_ptr<CTestFetch> Launch(curl_proxytype type, bool rating)
    {
        auto fetch = std::make_unique<CTestFetch>(target_, proxy_, type);
        fetch->job = this;
        loop_->Add(*fetch);
        if (fetch->loop && rating)
            ++ratingRunning_;
        return fetch;
    }

    bool ProbeRunning() const { return probe_ && probe_->loop; }

    CSpeedTally Tally() const
    {
        CSpeedTally tally;
        for (const auto& fetch : rating_) {
            if (!fetch || !fetch->BroughtText())
                continue;
            if (ContainsRejectWord(fetch->body.data))
                tally.AddRejected();
            else if (ContainsNoCase(fetch->body.data, target_.expected.c_str()))
                tally.AddSuccess(fetch->Milliseconds());
        }
        return tally;
    }

    // Moves on once the round's rating fetches have ended: rated through
    // SOCKS4, the probe gets a grace; with no SOCKS4 success, the probe
    // decides and, when it passed, the SOCKS5 round starts.
    void RoundEnded()
    {
        if (ratingRunning_ > 0 || socks5Round_)
            return;
        if (graceEnd_ == kNoDeadline) {
            socks4Tally_ = Tally();
            graceEnd_ = ProbeGraceEnd(started_, Clock::now());
        }
        if (socks4Tally_.Passed() || socks4Tally_.Rejected() || ProbeRunning() || !probe_
            || !IsGoodAnswer(*probe_, target_))
            return;
        socks5Round_ = true;
        for (auto& fetch : rating_)
            fetch = Launch(CURLPROXY_SOCKS5, true);
    }

    CWorker& worker_;
    CProxy proxy_;
    TestTarget target_;
    CTransferLoop* loop_ = nullptr;
    std::array<std::unique_ptr<CTestFetch>, kSpeedFetchCount> rating_;  // the current round's
    std::unique_ptr<CTestFetch> probe_;
    int ratingRunning_ = 0;
    bool socks5Round_ = false;
    CSpeedTally socks4Tally_;  // once the SOCKS4 round has ended
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
