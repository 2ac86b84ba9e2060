#pragma once

#include "testing/worker.h"

// The speed test: fetches the test page five times at once through each
// proxy, one proxy per job, and rates the proxies that passed with uptime and
// speed. A sixth fetch through SOCKS5 sets the type of a passing proxy (3
// "Socks4/5" when it also succeeded, else 1 "Socks4"); once the five have
// ended, the job waits for it only a short grace.
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
