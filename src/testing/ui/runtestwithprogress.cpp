#include "testing/ui/runtestwithprogress.h"

#include <thread>

#include "data/proxy.h"
#include "testing/testrun.h"

bool RunTestWithProgress(QWidget* parent, const TestRunUi& run, IPrompt& prompt)
{
    // The dialog exists before the run starts, so the run's reports always reach it.
    CProgressDialog dialog(run, static_cast<int>(GetProxyList().size()), prompt, parent);
    bool ran = false;
    std::thread thread([&ran, &dialog, &run] { ran = RunTest(run.worker, GetProxyList(), &dialog); });
    dialog.exec();
    thread.join();
    return ran;
}
