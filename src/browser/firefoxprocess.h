#pragma once

#include <chrono>

#include <string>

#include "browser/firefox.h"

// The names Firefox's program files have: firefox, firefox-esr (Debian) and
// firefox-bin (Mozilla's own builds).
bool IsFirefoxProcessName(const std::string& name);

// True when the process exists, is not a zombie, and runs the Firefox of
// paths: its program (/proc/<pid>/exe) is paths.exePath resolved through its
// links, or a file with a Firefox name in that same install folder, and it
// is Firefox's main process, not one of its -contentproc children. A name
// alone proves nothing: any program can be called firefox.
bool IsRunningFirefox(const FirefoxPaths& paths, int pid);

// Sends SIGTERM to a running Firefox of paths and waits up to `wait` for it
// to end; true when it ended.
bool TerminateFirefoxAndWait(const FirefoxPaths& paths, int pid, std::chrono::milliseconds wait);
