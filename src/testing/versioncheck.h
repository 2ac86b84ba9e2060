#pragma once

#include <memory>
#include <vector>

#include "data/proxy.h"
#include "testing/testjob.h"
#include "testing/transfers.h"

// The tests find out which SOCKS versions a proxy speaks by fetching the test
// page through SOCKS5 beside their SOCKS4 fetches. Where SOCKS4 has passed,
// the SOCKS5 fetch only decides the type, and the job waits for it a short
// grace once the fetches that decide whether the proxy passes have ended.
// The SOCKS5 fetch starts with them and costs one round trip more (the
// method negotiation before the request), so a proxy that speaks SOCKS5 ends
// it about one round trip after its slowest SOCKS4 fetch. A fetch takes at
// least three round trips (connect, SOCKS request, HTTP), so a third of the
// job's time so far covers that round trip; the floor of 500 ms covers the
// round trip to any continent and the scheduling jitter of a loaded machine.
// A SOCKS4-only proxy that holds the SOCKS5 greeting open then costs that
// grace, not a whole timeout.
constexpr auto kProbeGraceFloor = std::chrono::milliseconds(500);

// When a job that started at started, and whose deciding fetches have all
// ended by now, stops waiting for the SOCKS5 fetches that only set a type.
CTestJob::Clock::time_point ProbeGraceEnd(CTestJob::Clock::time_point started, CTestJob::Clock::time_point now);

// The type of a proxy that passed through the versions given; kTypeSocks
// when it passed through neither.
int ProxyTypeOf(bool socks4, bool socks5);

// The test page fetched once through SOCKS4 and once through SOCKS5 for each
// proxy of a job, all side by side. A proxy passes when its answer through
// either version holds the expected text; the versions it passed through
// give its type. Once one of the two has passed, the other only sets the
// type and gets the grace above; while neither has, both run to their own
// end, since either may be the proxy's only chance.
class CVersionCheck {
public:
    using Clock = CTestJob::Clock;

    // Starts both fetches of every usable proxy for job (an unusable one
    // fails untested). connectTimeoutMs above 0 bounds each fetch's connect
    // phase (TCP and the SOCKS handshake). target must outlive the check.
    void Start(CTransferLoop& loop, CTestJob& job, const TestTarget& target, const CProxyList& proxies,
               long connectTimeoutMs = 0);
    // Called from the job's TransferEnded.
    void TransferEnded();
    // No fetch is running.
    bool Ended() const;
    // The end of the grace once no deciding fetch runs, else kNoDeadline.
    Clock::time_point Deadline() const { return graceEnd_; }

    // The i-th proxy's type from the fetches that passed; kTypeSocks when it failed.
    int TypeOf(size_t i) const;
    // The fetch the i-th proxy passed through, SOCKS4 before SOCKS5; nullptr when it failed.
    const CTestFetch* PassedFetch(size_t i) const;

private:
    struct Fetches {
        std::unique_ptr<CTestFetch> socks4, socks5;
    };
    bool Passed(const std::unique_ptr<CTestFetch>& fetch) const;
    // A fetch that may still decide whether the proxy passes is running.
    bool Deciding(const Fetches& fetches) const;
    void UpdateGrace();

    std::vector<Fetches> proxies_;  // in the order of the proxies given
    const TestTarget* target_ = nullptr;
    Clock::time_point started_;
    Clock::time_point graceEnd_ = CTestJob::kNoDeadline;
};
