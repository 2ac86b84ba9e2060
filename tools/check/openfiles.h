#pragma once

#include <sys/resource.h>

// Raises the soft open-file limit as far as the hard limit allows, up to
// wanted; returns the soft limit in force afterwards.
rlim_t RaiseOpenFileLimit(rlim_t wanted);

// The hard open-file limit (RLIM_INFINITY when unknown).
rlim_t HardOpenFileLimit();

// Every transfer holds a socket: raises the open-file limit for threads jobs
// of transfersPerJob transfers at once, or, where the machine allows fewer,
// says so on stderr (as program) and returns how many jobs fit.
int FitThreadsToOpenFileLimit(int threads, int transfersPerJob, const char* program);
