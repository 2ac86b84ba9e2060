#pragma once

#include "testing/worker.h"

// The speed test: fetches the test page five times at once through each
// proxy, one proxy per job, and rates the proxies that passed with uptime and
// speed. The five go through SOCKS4; a sixth fetch through SOCKS5 finds out
// whether the proxy speaks that too. A proxy rated through SOCKS4 gets type 3
// "Socks4/5" when the sixth also succeeded, else 1 "Socks4", and the job
// waits for the sixth only a short grace once the five have ended. A proxy
// that passed only the sixth is rated by five more fetches through SOCKS5
// and gets type 2 "Socks5".
class CTestSpeedWorker : public CWorker {
public:
    using CWorker::CWorker;

protected:
    // One job per pending proxy.
    void Dispatch() override;
};

// The process-wide instance, created on first call with the thread count of
// the settings as they are then.
CTestSpeedWorker& GetTestSpeedWorker();

constexpr int kSpeedFetchCount = 5;
// Transfers a job runs at once: the five and the SOCKS5 probe.
constexpr int kSpeedTransfersPerJob = kSpeedFetchCount + 1;
