#include "app/commands.h"
#include "app/tolvanedlg.h"
#include "data/ui/prolistctrl.h"
#include "widgets/prompt.h"

void RemoveAllCommand(CTolvaneDlg& window)
{
    if (window.Table()->RowCount() == 0) {
        Prompt().Show(&window, QStringLiteral("No proxy to remove!"), IPrompt::Ok);
        return;
    }
    if (Prompt().Show(&window, QStringLiteral("Do you really want to remove all proxies?"), IPrompt::OkCancel)
        != IPrompt::AnsOk)
        return;
    GetProxyList().clear();
    window.RefillProxyTable();
    window.FocusTable();
}
