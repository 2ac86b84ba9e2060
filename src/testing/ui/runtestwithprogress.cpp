#include <thread>

#include "data/proxy.h"
#include "testing/testrun.h"
#include "testing/ui/progressdialog.h"

bool RunTestWithProgress(QWidget* parent, bool isSpeedTest, IPrompt& prompt)
{
    // The dialog registers itself before the run starts, so the run's
    // completion always reaches it.
    CProgressDialog dialog(isSpeedTest, static_cast<int>(GetProxyList().size()), prompt, parent);
    bool ran = false;
    std::thread run([&ran, isSpeedTest] { ran = isSpeedTest ? RunSpeedTest() : RunAvailabilityTest(); });
    dialog.exec();
    run.join();
    return ran;
}
