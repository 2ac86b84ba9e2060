#include "openfiles.h"

#include <algorithm>
#include <cstdio>

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

int FitThreadsToOpenFileLimit(int threads, int transfersPerJob, const char* program)
{
    // Descriptors beside the transfers: standard streams, the epoll set, the
    // wake-up descriptor, output and log files and what libraries keep open.
    constexpr rlim_t kSpareDescriptors = 64;
    const rlim_t wanted = static_cast<rlim_t>(threads) * transfersPerJob + kSpareDescriptors;
    const rlim_t limit = RaiseOpenFileLimit(wanted);
    if (limit >= wanted)
        return threads;
    const int fitting = limit > kSpareDescriptors + static_cast<rlim_t>(transfersPerJob)
                            ? static_cast<int>((limit - kSpareDescriptors) / transfersPerJob)
                            : 1;
    std::fprintf(stderr,
                 "%s: the open-file limit is %llu (hard limit %llu), too low for --threads %d, which "
                 "needs about %llu; testing %d at once instead (raise the hard limit, e.g. ulimit -Hn, to run more)\n",
                 program, static_cast<unsigned long long>(limit), static_cast<unsigned long long>(HardOpenFileLimit()),
                 threads, static_cast<unsigned long long>(wanted), fitting);
    return fitting;
}
