#include "browser/systemproxy.h"

#include <memory>

#include "browser/savedproxysettings.h"
#include "browser/systemproxy_desktop.h"

namespace {

// The LAN settings have no name; a dial-up connection is named after its interface.
bool ActiveConnection(INetworkState& network, std::string& connection)
{
    const INetworkState::Info info = network.Query();
    if (!info.connected)
        return false;
    connection = info.lan ? std::string() : info.name;
    return true;
}

void AnnounceChange(ISystemProxyStore& store)
{
    store.NotifySettingsChanged();
    store.Refresh();
}

// Writes the saved configuration back; the file goes only once that worked.
bool PutBack(ISystemProxyStore& store, const SavedProxySettings& saved)
{
    const bool written = store.Write(saved.connection, saved.before);
    AnnounceChange(store);
    return written && RemoveSavedProxySettings(SavedProxySettingsPath(store.SavedSettingsName()));
}

// An apply that did not take hold leaves the desktop as the user had it. If
// an earlier proxy was shown as applied, the display must follow.
void UndoApply(ISystemProxyStore& store, const SavedProxySettings& saved, HideState& state,
               IProxyStateListener& listener)
{
    if (PutBack(store, saved) && state.hidden) {
        state.hidden = false;
        listener.OnProxyRestored();
    }
}

}  // namespace

HideState& GetHideState()
{
    static HideState state;
    return state;
}

ISystemProxyStore& DesktopProxyStore()
{
    static const std::unique_ptr<ISystemProxyStore> store =
        NewDesktopProxyStore(DesktopFamilyOf(CurrentDesktopHints()));
    return *store;
}

bool ApplySystemProxy(HideState& state, CProxy proxy, const SystemProxyContext& context, std::string* bypass)
{
    if (!proxy.IsUsable())
        return false;
    std::string connection;
    if (!ActiveConnection(context.network, connection))
        return false;
    ISystemProxyStore& store = context.store;
    if (!store.HasSystemSetting())
        return false;

    // A configuration saved by an earlier apply (this run's, or one of a run
    // that ended with the proxy applied) is the user's own and is kept: what
    // the desktop holds now is the program's.
    const std::string path = SavedProxySettingsPath(store.SavedSettingsName());
    SavedProxySettings saved;
    if (!LoadSavedProxySettings(path, saved)) {
        saved = SavedProxySettings();
        saved.connection = connection;
        if (!store.Read(connection, saved.before))
            return false;
    }
    saved.applied = proxy;
    // Nothing is changed unless the way back is safe on disk.
    if (!StoreSavedProxySettings(path, saved))
        return false;

    const bool written = store.WriteSocksProxy(saved.connection, saved.before, proxy.ip, proxy.port);
    AnnounceChange(store);
    const std::string check = written ? store.CheckSocksProxy(proxy.ip, proxy.port) : std::string();
    if (!written || !check.empty()) {
        UndoApply(store, saved, state, context.listener);
        if (bypass)
            *bypass = check;
        return false;
    }
    state.hidden = true;
    state.proxy = proxy;
    context.listener.OnProxyApplied();
    return true;
}

bool RestoreSystemProxy(HideState& state, const SystemProxyContext& context)
{
    if (!state.hidden)
        return false;
    std::string connection;
    if (!ActiveConnection(context.network, connection))
        return false;
    ISystemProxyStore& store = context.store;
    SavedProxySettings saved;
    bool restored;
    if (LoadSavedProxySettings(SavedProxySettingsPath(store.SavedSettingsName()), saved)) {
        restored = PutBack(store, saved);
    } else {
        // The saved configuration is gone (removed by hand): the best left is
        // the direct connection.
        restored = store.WriteDirect(connection);
        AnnounceChange(store);
    }
    if (!restored)
        return false;
    state.hidden = false;
    context.listener.OnProxyRestored();
    return true;
}

bool ResumeAppliedProxy(HideState& state, const SystemProxyContext& context)
{
    ISystemProxyStore& store = context.store;
    const std::string path = SavedProxySettingsPath(store.SavedSettingsName());
    SavedProxySettings saved;
    if (!LoadSavedProxySettings(path, saved))
        return false;
    DesktopProxySettings current;
    if (!store.Read(saved.connection, current))
        return false;
    if (!store.HoldsSocksProxy(current, saved.applied.ip, saved.applied.port)) {
        // The user has set up the desktop anew since: that choice stands.
        RemoveSavedProxySettings(path);
        return false;
    }
    if (!saved.applied.IsUsable() || !store.CheckSocksProxy(saved.applied.ip, saved.applied.port).empty()) {
        // Still written but no longer carrying the traffic: give the user's
        // own configuration back rather than show an address that is not used.
        PutBack(store, saved);
        return false;
    }
    state.hidden = true;
    state.proxy = saved.applied;
    context.listener.OnProxyApplied();
    return true;
}
