#include "app/commands.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "data/ui/prolistctrl.h"
#include "widgets/prompt.h"

void RemoveAllCommand(CTolvaneDlg& window)
{
    if (window.Table()->RowCount() == 0) {
        window.Desktop().prompt.Show(&window, QStringLiteral("No proxy to remove!"), IPrompt::Ok);
        return;
    }
    if (window.Desktop().prompt.Show(&window, QStringLiteral("Do you really want to remove all proxies?"), IPrompt::OkCancel)
        != IPrompt::AnsOk)
        return;
    GetProxyList().clear();
    window.RefillProxyTable();
    window.FocusTable();
}
