#include "app/desktop.h"

#include "app/detachedrelay.h"

#include "browser/networkstate.h"
#include "browser/systemproxy.h"
#include "widgets/messageboxprompt.h"
#include "widgets/urlopener.h"

#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>

CDesktop& RealDesktop()
{
    static CMessageBoxPrompt prompt;
    static CDesktopUrlOpener urlOpener;
    static CDesktop desktop{prompt,
                            urlOpener,
                            MachineNetworkState(),
                            DesktopProxyStore(),
                            [](int exitCode) {
                                std::fflush(nullptr);
                                // _Exit: other threads (a test run, a request) may still be
                                // working, and static destructors must not run under them.
                                std::_Exit(exitCode);
                            },
                            [] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                            StartDetachedRelay};
    return desktop;
}
