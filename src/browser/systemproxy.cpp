#include "browser/systemproxy.h"

#include <memory>

#include "browser/savedproxysettings.h"
#include "browser/systemproxy_desktop.h"

namespace {

constexpr const char* kUnwritable = "the desktop's proxy settings could not be written";

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
}

std::string ValueOf(const DesktopProxySettings& settings, const std::string& key)
{
    const auto found = settings.find(key);
    return found != settings.end() ? found->second : std::string();
}

// Whether every key of current holds its value from `a`, or from `b` where b
// has the key.
bool EveryKeyFrom(const DesktopProxySettings& current, const DesktopProxySettings& a, const DesktopProxySettings& b)
{
    for (const auto& [key, value] : current) {
        const auto inB = b.find(key);
        if (value != ValueOf(a, key) && (inB == b.end() || value != inB->second))
            return false;
    }
    return true;
}

bool SameSettings(const DesktopProxySettings& current, const DesktopProxySettings& saved)
{
    return EveryKeyFrom(current, saved, {});
}

// Writes the saved configuration back; done once the desktop reads back as
// saved. The file goes then; a file that cannot be removed is settled at the
// next start, which finds the desktop holding the saved values.
ProxyChange PutBack(ISystemProxyStore& store, const SavedProxySettings& saved)
{
    const bool written = store.Write(saved.connection, saved.before);
    AnnounceChange(store);
    DesktopProxySettings now;
    ProxyChange change;
    if (!written || !store.Read(saved.connection, now) || !SameSettings(now, saved.before)) {
        change.problem = kUnwritable;
        return change;
    }
    RemoveSavedProxySettings(SavedProxySettingsPath(store.SavedSettingsName()));
    change.done = true;
    change.userSettingsInPlace = true;
    return change;
}

// Shows the real address again when a proxy was shown as applied.
void ShowRestored(HideState& state, IProxyStateListener& listener)
{
    if (!state.hidden)
        return;
    state.hidden = false;
    listener.OnProxyRestored();
}

ProxyChange Failed(std::string problem, bool userSettingsInPlace = true)
{
    ProxyChange change;
    change.problem = std::move(problem);
    change.userSettingsInPlace = userSettingsInPlace;
    return change;
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

ProxyChange ApplySystemProxy(HideState& state, CProxy proxy, const SystemProxyContext& context)
{
    if (!proxy.IsUsable())
        return Failed("the proxy's address or port is not valid");
    std::string connection;
    if (!ActiveConnection(context.network, connection))
        return Failed("no network connection is up");
    ISystemProxyStore& store = context.store;
    if (!store.HasSystemSetting())
        return Failed("this desktop has no system-wide proxy setting that Velmora can change");

    // A configuration saved by an earlier apply (this run's, or one of a run
    // that ended with the proxy applied) is the user's own and is kept: what
    // the desktop holds now is the program's.
    const std::string path = SavedProxySettingsPath(store.SavedSettingsName());
    SavedProxySettings saved;
    if (!LoadSavedProxySettings(path, saved)) {
        saved = SavedProxySettings();
        saved.connection = connection;
        if (!store.Read(connection, saved.before))
            return Failed("the desktop's proxy settings could not be read");
    }
    saved.applied = proxy;
    // Nothing is changed unless the way back is safe on disk.
    if (!StoreSavedProxySettings(path, saved))
        return Failed("your own proxy setting could not be saved to " + path + ", so nothing was changed");

    const bool written = store.WriteSocksProxy(saved.connection, saved.before, proxy.ip, proxy.port);
    AnnounceChange(store);
    const std::string check = written ? store.CheckSocksProxy(proxy.ip, proxy.port) : std::string();
    if (!written || !check.empty()) {
        // An apply that did not take hold leaves the desktop as the user had it.
        const ProxyChange undo = PutBack(store, saved);
        if (undo)
            ShowRestored(state, context.listener);
        ProxyChange change = Failed(written ? "the desktop's proxy setting did not take effect, " + check : kUnwritable,
                                    undo.userSettingsInPlace);
        change.bypass = check;
        if (!undo)
            change.problem +=
                "; your own proxy setting could not be put back either and is kept in " + path + " for the next try";
        return change;
    }
    state.hidden = true;
    state.proxy = proxy;
    context.listener.OnProxyApplied();
    ProxyChange change;
    change.done = true;
    return change;
}

ProxyChange RestoreSystemProxy(HideState& state, const SystemProxyContext& context)
{
    if (!state.hidden)
        return Failed("no proxy is applied");
    ISystemProxyStore& store = context.store;
    const std::string path = SavedProxySettingsPath(store.SavedSettingsName());
    SavedProxySettings saved;
    ProxyChange change;
    if (LoadSavedProxySettings(path, saved)) {
        change = PutBack(store, saved);
        if (!change)
            change.problem += "; your own proxy setting stays saved in " + path + " for the next try";
    } else {
        // The saved configuration is gone (removed by hand): the best left is
        // the direct connection.
        change.done = store.WriteDirect(std::string());
        AnnounceChange(store);
        if (!change)
            change.problem = kUnwritable;
    }
    if (change)
        ShowRestored(state, context.listener);
    return change;
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
    const CProxy& applied = saved.applied;
    if (store.HoldsSocksProxy(current, applied.ip, applied.port)) {
        if (applied.IsUsable() && store.CheckSocksProxy(applied.ip, applied.port).empty()) {
            const bool announce = !state.hidden || !(state.proxy == applied);
            state.hidden = true;
            state.proxy = applied;
            if (announce)
                context.listener.OnProxyApplied();
            return true;
        }
        // Still written but no longer carrying the traffic: give the user's
        // own configuration back rather than show an address that is not used.
        PutBack(store, saved);
    } else if (SameSettings(current, saved.before)) {
        RemoveSavedProxySettings(path);
    } else if (const DesktopProxySettings target = store.SocksProxySettings(saved.before, applied.ip, applied.port);
               !target.empty() && EveryKeyFrom(current, saved.before, target)) {
        // Part of the apply (or of a restore) was written when the run ended.
        PutBack(store, saved);
    } else {
        // The user has set up the desktop anew since: that choice stands.
        RemoveSavedProxySettings(path);
    }
    ShowRestored(state, context.listener);
    return false;
}
