#include "app/testrunlauncher.h"

#include "app/commandscope.h"

#if __has_include("testing/ui/progressdialog.h")
#include "testing/ui/progressdialog.h"
#define VELMORA_HAVE_TEST_RUNS 1
#endif

namespace {
void RunWithProgress([[maybe_unused]] QWidget* window, [[maybe_unused]] bool isSpeedTest)
{
    CCommandScope running;
#ifdef VELMORA_HAVE_TEST_RUNS
    RunTestWithProgress(window, isSpeedTest);
#endif
}
} // namespace

void RunTestAfterGetProxy(QWidget* window, int testType)
{
    if (testType == 1)
        RunWithProgress(window, false);
    else if (testType == 2)
        RunWithProgress(window, true);
}

void RunSpeedTestWithProgress(QWidget* window)
{
    RunWithProgress(window, true);
}
