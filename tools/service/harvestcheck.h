#pragma once

#include "testing/worker.h"

// The harvest's availability check: the program's own check (the test page
// fetched once through the proxy must hold the expected text), with one
// proxy a job so that a slot frees as soon as its fetch has ended, and every
// proxy kept the moment it passes, with the milliseconds its fetch took as
// its speed. A proxy listed as SOCKS5 (type 2) is tested through SOCKS5, any
// other through SOCKS4, and a SOCKS4 pass of an untyped proxy records type 1.
// connectTimeoutMs (0 for none) bounds the connect phase (TCP and the SOCKS
// handshake) on its own, so a dead proxy holds a slot for that rather than
// the whole timeout.
class HarvestCheck : public CWorker {
public:
    HarvestCheck(int maxJobs, const CSettingTestItem* testSettings, long connectTimeoutMs);

    long ConnectTimeoutMs() const { return connectTimeoutMs_; }

protected:
    void Dispatch() override;

private:
    const long connectTimeoutMs_;
};
