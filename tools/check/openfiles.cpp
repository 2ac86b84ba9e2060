#include "openfiles.h"

#include <algorithm>

rlim_t RaiseOpenFileLimit(rlim_t wanted)
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur;
}

rlim_t HardOpenFileLimit()
{
    rlimit limit;
    return getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_max : RLIM_INFINITY;
}
