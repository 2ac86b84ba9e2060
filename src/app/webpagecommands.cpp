#include "app/commands.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "service/serviceendpoints.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"

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
