#include "app/tolvanedlg.h"

#include "app/desktop.h"
#include "app/trayicon.h"
#include "browser/systemproxy.h"
#include "widgets/prompt.h"

// Offers to restore the direct connection when a proxy is applied, removes
// the tray icon and ends the process with -1. Nothing is saved: settings are
// saved when changed and the proxy list is not kept.
void CTolvaneDlg::RequestExit()
{
    HideState& state = GetHideState();
    if (state.hidden) {
        const IPrompt::Answer answer =
            desktop_.prompt.Show(this, QStringLiteral("Your real IP is hidden, do you want to restore it?"),
                          IPrompt::YesNoCancel, QStringLiteral("Tolvane"));
        if (answer == IPrompt::AnsCancel)
            return;
        if (answer == IPrompt::AnsYes)
            ipHiding_.RestoreIp();
    }
    tray_->Remove();
    exitRequested_ = true;
    desktop_.endProcess(-1);
}
