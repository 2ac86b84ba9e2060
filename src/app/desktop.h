#pragma once

#include <functional>
#include <vector>

class INetworkState;
class IPrompt;
class ISystemProxyStore;
class IUrlOpener;
struct CProxy;

// The desktop services the main window talks to, handed to it at
// construction so that tests can stand in for the desktop.
struct CDesktop {
    IPrompt& prompt;
    IUrlOpener& urlOpener;
    INetworkState& network;
    ISystemProxyStore& proxyStore;
    // Ends the process at once with the code: nothing is saved and no
    // destructors run. A stand-in records the code and returns.
    std::function<void(int)> endProcess;
    // Whether the desktop has a tray to hide the window in.
    std::function<bool()> trayAvailable;
    // Keeps the relay going after the program has ended, on the port the
    // desktop names, to the proxies (the first in use); false when it did not
    // start. Without one the relay ends with the program.
    std::function<bool(int port, const std::vector<CProxy>& proxies)> keepRelay;
};

// The real services: message boxes, the desktop's browser, the machine's
// network interfaces, this desktop's proxy settings, _Exit and Qt's tray check.
CDesktop& RealDesktop();
