#pragma once

#include <chrono>
#include <limits>

class CTestFetch;
class CTransferLoop;

// One job of a worker (a proxy of the speed test, a batch of the
// availability check), run by the dispatcher on its transfer loop: Start adds
// the job's fetches, TransferEnded reports each one that ended, and Finish
// evaluates and reports the job once it has ended, its deadline has passed
// or the test was canceled. All calls come from the dispatcher thread.
class CTestJob {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

    virtual ~CTestJob() = default;

    virtual void Start(CTransferLoop& loop) = 0;
    virtual void TransferEnded(CTestFetch&) {}
    // Nothing is left to wait for.
    virtual bool Ended() const = 0;
    // When the job stops waiting for what is still running; asked again after
    // Start and after every TransferEnded.
    virtual Clock::time_point Deadline() const { return kNoDeadline; }
    // Evaluates what ended, keeps what passed and posts the progress; the
    // fetches still running are abandoned by the job's destruction.
    virtual void Finish() = 0;
};
