#pragma once

#include <chrono>

#include <string>

// The names Firefox's main process has (/proc/<pid>/comm): firefox,
// firefox-esr (Debian) and firefox-bin (Mozilla's own builds).
bool IsFirefoxProcessName(const std::string& name);

// True when the process exists, is not a zombie, and has a Firefox name.
bool IsRunningFirefox(int pid);

// Sends SIGTERM to a running Firefox and waits up to `wait` for it to end;
// true when it ended.
bool TerminateFirefoxAndWait(int pid, std::chrono::milliseconds wait);
