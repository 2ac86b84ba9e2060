#pragma once

struct CProxy;

// Rates one proxy from its five speed fetches: uptime is the number of
// fetches that brought the expected text, speed their mean time in whole
// milliseconds. A single answer with a reject word fails the proxy.
class CSpeedTally {
public:
    void AddSuccess(double milliseconds);
    void AddRejected() { rejected_ = true; }

    bool Passed() const { return !rejected_ && successes_ > 0; }
    bool Rejected() const { return rejected_; }
    // Writes uptime and speed into proxy; only meaningful when Passed().
    void WriteTo(CProxy& proxy) const;

private:
    int successes_ = 0;
    double totalMilliseconds_ = 0;
    bool rejected_ = false;
};
