#pragma once

#include <mutex>
#include <vector>

#include "testing/worker.h"

// Records what a test run reports, in order, from whatever thread: each
// progress count, and kComplete for the completion. Header only.
class CRecordingProgress : public ITestProgressListener {
public:
    static constexpr long long kComplete = -1;

    void OnProgress(int count) override { Record(count); }
    void OnComplete() override { Record(kComplete); }

    std::vector<long long> Events() const
    {
        std::lock_guard<std::mutex> lock(lock_);
        return events_;
    }
    // The progress counts alone.
    std::vector<long long> Counts() const
    {
        std::vector<long long> counts;
        for (long long event : Events())
            if (event != kComplete)
                counts.push_back(event);
        return counts;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(lock_);
        events_.clear();
    }

private:
    void Record(long long event)
    {
        std::lock_guard<std::mutex> lock(lock_);
        events_.push_back(event);
    }

    mutable std::mutex lock_;
    std::vector<long long> events_;
};
