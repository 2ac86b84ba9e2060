#include "app/commands.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "settings/ui/settingdialog.h"

void SettingCommand(CTolvaneDlg& window)
{
    {
        CSettingDialog dialog(window.Desktop().prompt, &window);
        dialog.exec();
    }
    window.FocusTable();
}
