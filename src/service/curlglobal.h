#pragma once

// Initialises libcurl globally exactly once per process (thread-safe) and
// registers the matching cleanup to run at process exit. Call it before the
// first easy or multi handle is created.
bool EnsureCurlGlobalInit();  // false when libcurl could not be initialised
