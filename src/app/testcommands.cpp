// Test runs behind the progress dialog: after Get Proxy and by Test Speed.
#include "app/commands.h"

#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "testing/ui/runtestwithprogress.h"
#include "widgets/prompt.h"

namespace {
void RunWithProgress(CTolvaneDlg& window, const TestRunUi& run)
{
    CCommandScope running;
    RunTestWithProgress(&window, run, window.Desktop().prompt);
}
}  // namespace

void RunTestAfterGetProxy(CTolvaneDlg& window, TestType testType)
{
    if (testType != TestType::None)
        RunWithProgress(window, testType == TestType::Speed ? SpeedTestRun() : AvailabilityTestRun());
}

void TestSpeedCommand(CTolvaneDlg& window)
{
    if (GetProxyList().empty()) {
        window.Desktop().prompt.Show(
            &window, QStringLiteral("There is no proxy to test speed, please get proxy firstly."), IPrompt::Ok);
        return;
    }
    RunWithProgress(window, SpeedTestRun());
    window.ProxyListChanged();
}
