#include <thread>

#include "data/proxy.h"
#include "testing/testrun.h"
#include "testing/ui/progressdialog.h"

bool RunTestWithProgress(QWidget* parent, bool isSpeedTest, IPrompt& prompt)
{
    // The dialog exists before the run starts, so the run's reports always reach it.
    CProgressDialog dialog(isSpeedTest, static_cast<int>(GetProxyList().size()), prompt, parent);
    bool ran = false;
    std::thread run(
        [&ran, &dialog, isSpeedTest] { ran = isSpeedTest ? RunSpeedTest(&dialog) : RunAvailabilityTest(&dialog); });
    dialog.exec();
    run.join();
    return ran;
}
