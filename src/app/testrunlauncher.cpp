#include "app/testrunlauncher.h"

#include "app/commandscope.h"
#include "testing/ui/progressdialog.h"

namespace {
void RunWithProgress(QWidget* window, bool isSpeedTest)
{
    CCommandScope running;
    RunTestWithProgress(window, isSpeedTest);
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
