// The commands that open something from the main window: the settings
// dialog, the About box and the web pages.
#include "app/commands.h"

#include "app/aboutdialog.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "service/serviceendpoints.h"
#include "settings/ui/settingdialog.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"

void SettingCommand(CTolvaneDlg& window)
{
    {
        CSettingDialog dialog(window.Desktop().prompt, &window, window.Desktop().proxyStore.FollowedByFirefox());
        dialog.exec();
    }
    window.FocusTable();
}

void AboutCommand(CTolvaneDlg& window)
{
    CAboutDialog about(&window);
    about.exec();
}

void OpenHelpPageCommand(CTolvaneDlg& window)
{
    window.Desktop().urlOpener.Open(ToUi(SupportPageUrl()));
}

void OpenHomePageCommand(CTolvaneDlg& window)
{
    window.Desktop().urlOpener.Open(ToUi(HomePageUrl()));
}

void OpenProxyListSiteCommand(CTolvaneDlg& window)
{
    window.Desktop().urlOpener.Open(ToUi(ProxyListSiteUrl()));
    window.FocusTable();
}
