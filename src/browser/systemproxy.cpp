#include "browser/systemproxy.h"

#include "browser/systemproxy_gsettings.h"
#include "data/windowmessages.h"

namespace {

ISystemProxyStore*& OverrideStore() {
    static ISystemProxyStore* store = nullptr;
    return store;
}

// The LAN settings have no name; a dial-up connection is named after its interface.
bool ActiveConnection(std::string& connection) {
    const INetworkState::Info info = NetworkState().Query();
    if (!info.connected)
        return false;
    connection = info.lan ? std::string() : info.name;
    return true;
}

void PostToMainWindow(int message, long long wParam, long long lParam) {
    if (IMessageTarget* target = MainWindowHandle())
        target->PostMessage(message, wParam, lParam);
}

void AnnounceChange(ISystemProxyStore& store) {
    store.NotifySettingsChanged();
    store.Refresh();
}

}  // namespace

HideState& GetHideState() {
    static HideState state;
    return state;
}

ISystemProxyStore& SystemProxyStore() {
    static CGSettingsProxyStore defaultStore;
    ISystemProxyStore* store = OverrideStore();
    return store ? *store : defaultStore;
}

void SetSystemProxyStoreForTest(ISystemProxyStore* store) { OverrideStore() = store; }

bool ApplySystemProxy(HideState& state, CProxy proxy) {
    std::string connection;
    if (!ActiveConnection(connection))
        return false;
    ISystemProxyStore& store = SystemProxyStore();
    const bool written = store.WriteProxy(connection, proxy.ip, proxy.port, "local");
    AnnounceChange(store);
    if (!written)
        return false;
    state.hidden = true;
    state.proxy = proxy;
    PostToMainWindow(kMsgProxyApplied, 0, -1);
    return true;
}

bool RestoreSystemProxy(HideState& state) {
    if (!state.hidden)
        return false;
    std::string connection;
    if (!ActiveConnection(connection))
        return false;
    ISystemProxyStore& store = SystemProxyStore();
    const bool written = store.WriteDirect(connection);
    AnnounceChange(store);
    if (!written)
        return false;
    state.hidden = false;
    PostToMainWindow(kMsgProxyRestored, 0, 0);
    return true;
}
