#include "app/processexit.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::function<void(int)>& InstalledEndProcess()
{
    static std::function<void(int)> endProcess;
    return endProcess;
}
} // namespace

void EndProcess(int exitCode)
{
    if (InstalledEndProcess()) {
        InstalledEndProcess()(exitCode);
        return;
    }
    std::fflush(nullptr);
    // _Exit: other threads (a test run, a request) may still be working, and
    // static destructors must not run under them.
    std::_Exit(exitCode);
}

void SetEndProcessForTest(std::function<void(int)> endProcess)
{
    InstalledEndProcess() = std::move(endProcess);
}
