#include "data/ui/speedscore.h"

#include <algorithm>

int SpeedScore(int speedMilliseconds, int timeoutMilliseconds)
{
    if (timeoutMilliseconds <= 0 || speedMilliseconds > timeoutMilliseconds)
        return 0;
    const long long timeout = timeoutMilliseconds;
    const long long score = (timeout - speedMilliseconds) * 100 / timeout;
    return static_cast<int>(std::clamp(score, 0LL, 100LL));
}

int SpeedBarValue(int score)
{
    return score == 100 ? 100 : score % 100;
}
