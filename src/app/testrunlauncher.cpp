#include "app/testrunlauncher.h"

#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "testing/ui/progressdialog.h"

namespace {
void RunWithProgress(CTolvaneDlg& window, bool isSpeedTest)
{
    CCommandScope running;
    RunTestWithProgress(&window, isSpeedTest, window.Desktop().prompt);
}
} // namespace

void RunTestAfterGetProxy(CTolvaneDlg& window, TestType testType)
{
    if (testType != TestType::None)
        RunWithProgress(window, testType == TestType::Speed);
}

void RunSpeedTestWithProgress(CTolvaneDlg& window)
{
    RunWithProgress(window, true);
}
