#pragma once

#include "testing/worker.h"

// The availability check: fetches the test page once through every proxy,
// five proxies per job, and keeps the proxies whose answer holds the
// expected text. Passed proxies keep all their fields.
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
