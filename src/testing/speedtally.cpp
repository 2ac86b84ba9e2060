#include "testing/speedtally.h"

#include "data/proxy.h"

void CSpeedTally::AddSuccess(double milliseconds)
{
    ++successes;
    totalMilliseconds += milliseconds;
}

void CSpeedTally::WriteTo(CProxy& proxy) const
{
    proxy.uptime = successes;
    proxy.speed = successes > 0 ? static_cast<int>(totalMilliseconds / successes) : kUnmeasuredSpeed;
}
