#pragma once

#include "testing/worker.h"

// The availability check: fetches the test page once through SOCKS4 and once
// through SOCKS5 from every proxy, five proxies per job, and keeps the
// proxies whose answer through either holds the expected text. A passed
// proxy keeps its other fields; its type says which versions passed
// (1 "Socks4", 2 "Socks5", 3 "Socks4/5").
class CCheckAnonymousWorker : public CWorker {
public:
    using CWorker::CWorker;

protected:
    // Forms batches of up to five pending proxies, each tested side by side as one job.
    void Dispatch() override;
};

// The process-wide instance, created on first call with the thread count of
// the settings as they are then.
CCheckAnonymousWorker& GetCheckAnonymousWorker();

constexpr int kAvailabilityBatchSize = 5;
// Transfers a job runs at once: one through each version per proxy.
constexpr int kAvailabilityTransfersPerJob = 2 * kAvailabilityBatchSize;
