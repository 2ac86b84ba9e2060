#include "app/commands.h"
#include "app/testrunlauncher.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "widgets/prompt.h"

void TestSpeedCommand(CTolvaneDlg& window)
{
    if (GetProxyList().empty()) {
        window.Desktop().prompt.Show(&window, QStringLiteral("There is no proxy to test speed, please get proxy firstly."),
                      IPrompt::Ok);
        return;
    }
    RunSpeedTestWithProgress(window);
    window.RefillProxyTable();
    window.FocusTable();
}
