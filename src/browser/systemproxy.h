#pragma once

#include <string>

#include "browser/networkstate.h"
#include "data/proxy.h"

// Whether a proxy is applied to the system settings, and which one was applied last.
struct HideState {
    bool hidden = false;
    CProxy proxy;
};

// The one HideState of the process.
HideState& GetHideState();

// Where the desktop keeps its proxy settings. The connection names the
// settings to change: empty for the LAN, otherwise the dial-up connection.
class ISystemProxyStore {
public:
    virtual ~ISystemProxyStore() = default;
    // Points the connection at the SOCKS proxy host:port with the given
    // bypass list and switches it to manual proxy mode.
    virtual bool WriteProxy(const std::string& connection, const std::string& host, int port,
                            const std::string& bypass) = 0;
    // Switches the connection back to a direct connection; the stored proxy stays.
    virtual bool WriteDirect(const std::string& connection) = 0;
    // Tells running clients that the settings changed, then has them reread
    // the settings; both follow every write, whether it succeeded or not.
    virtual void NotifySettingsChanged() = 0;
    virtual void Refresh() = 0;
};

// Process-wide store; by default the desktop's GSettings.
ISystemProxyStore& SystemProxyStore();
// Replaces the store (nullptr brings back the default).
void SetSystemProxyStoreForTest(ISystemProxyStore* store);

// Applies the proxy to the active connection. On success sets hidden, keeps
// a copy of the proxy and posts kMsgProxyApplied (0, -1) to the main window.
bool ApplySystemProxy(HideState& state, CProxy proxy);
// Sets the active connection back to direct when a proxy is applied. On
// success clears hidden and posts kMsgProxyRestored (0, 0).
bool RestoreSystemProxy(HideState& state);
