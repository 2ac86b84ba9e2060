#include "app/commands.h"
#include "app/tolvanedlg.h"
#include "service/serviceendpoints.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"

void OpenHelpPageCommand(CTolvaneDlg&)
{
    UrlOpener().Open(ToUi(SupportPageUrl()));
}

void OpenHomePageCommand(CTolvaneDlg&)
{
    UrlOpener().Open(ToUi(HomePageUrl()));
}

void OpenProxyListSiteCommand(CTolvaneDlg& window)
{
    UrlOpener().Open(ToUi(ProxyListSiteUrl()));
    window.FocusTable();
}
