#pragma once

#include <sys/resource.h>

// Raises the soft open-file limit as far as the hard limit allows, up to
// wanted; returns the soft limit in force afterwards.
rlim_t RaiseOpenFileLimit(rlim_t wanted);

// The hard open-file limit (RLIM_INFINITY when unknown).
rlim_t HardOpenFileLimit();
