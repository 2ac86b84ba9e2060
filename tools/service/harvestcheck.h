#pragma once

#include "testing/worker.h"

// The harvest's availability check: the program's own check (the test page
// fetched once through SOCKS4 and once through SOCKS5; a proxy passes when
// either answer holds the expected text), with one proxy a job so that a
// slot frees as soon as its fetches have ended, and every proxy kept the
// moment it passes, with the milliseconds its passing fetch took as its
// speed (the SOCKS4 one where both passed). Its type is found the same way
// as the program's, whatever type its source gave: 1 "Socks4", 2 "Socks5"
// or 3 "Socks4/5". connectTimeoutMs (0 for none) bounds the connect phase
// (TCP and the SOCKS handshake) on its own, so a dead proxy holds a slot for
// that rather than the whole timeout.
class HarvestCheck : public CWorker {
public:
    HarvestCheck(int maxJobs, const CSettingTestItem* testSettings, long connectTimeoutMs);

    long ConnectTimeoutMs() const { return connectTimeoutMs_; }

protected:
    void Dispatch() override;

private:
    const long connectTimeoutMs_;
};
