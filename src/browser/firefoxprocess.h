#pragma once

#include <chrono>

// True when the process exists, is not a zombie, and its name (/proc/<pid>/comm)
// contains "firefox" in any case.
bool IsRunningFirefox(int pid);

// Sends SIGTERM to a running Firefox and waits up to `wait` for it to end;
// true when it ended.
bool TerminateFirefoxAndWait(int pid, std::chrono::milliseconds wait);
