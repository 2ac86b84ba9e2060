#include "testing/speedtally.h"

#include "data/proxy.h"

void CSpeedTally::AddSuccess(double milliseconds)
{
    ++successes_;
    totalMilliseconds_ += milliseconds;
}

void CSpeedTally::WriteTo(CProxy& proxy) const
{
    proxy.uptime = successes_;
    proxy.speed = successes_ > 0 ? static_cast<int>(totalMilliseconds_ / successes_) : kUnmeasuredSpeed;
}
