#include "browser/systemproxy.h"

#include <memory>

#include "browser/savedproxysettings.h"
#include "browser/systemproxy_desktop.h"

namespace {

constexpr const char* kUnwritable = "the desktop's proxy settings could not be written";
constexpr const char* kRelayHost = "127.0.0.1";

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

// What the desktop's programs are sent to: the relay when there is one, else the proxy.
struct DesktopTarget {
    std::string host;
    int port = 0;
};
DesktopTarget TargetOf(const CProxy& proxy, int relayPort)
{
    return relayPort != 0 ? DesktopTarget{kRelayHost, relayPort} : DesktopTarget{proxy.ip, proxy.port};
}

ProxyChange Failed(std::string problem, bool userSettingsInPlace = true)
{
    ProxyChange change;
    change.problem = std::move(problem);
    change.userSettingsInPlace = userSettingsInPlace;
    return change;
}

// Whether the relay the saved file names forwards to its proxy now: the
// running one, or one started on that port again (after a run that ended,
// or once the relay left running at exit has been stopped). A saved file
// from a run that named the proxy itself needs none.
bool RelayRunsFor(const HideState& state, const SavedProxySettings& saved, const SystemProxyContext& context)
{
    if (saved.relayPort == 0)
        return true;
    if (!context.relay)
        return false;
    if (state.hidden && state.relayPort == saved.relayPort)
        return true;
    std::string problem;
    return context.relay->Relay(saved.applied, saved.relayPort, problem) == saved.relayPort;
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

ProxyChange ApplySystemProxy(HideState& state, const CProxy& proxy, const SystemProxyContext& context)
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
    int relayPort = 0;
    if (context.relay) {
        std::string problem;
        relayPort = context.relay->Relay(proxy, state.hidden ? state.relayPort : 0, problem);
        if (relayPort == 0) {
            if (!state.hidden)
                context.relay->Stop();
            return Failed("the local relay could not start: " + problem);
        }
    }
    saved.applied = proxy;
    saved.relayPort = relayPort;
    // Nothing is changed unless the way back is safe on disk.
    if (!StoreSavedProxySettings(path, saved)) {
        if (context.relay && !state.hidden)
            context.relay->Stop();
        return Failed("your own proxy setting could not be saved to " + path + ", so nothing was changed");
    }

    const DesktopTarget target = TargetOf(proxy, relayPort);
    const bool written = store.WriteSocksProxy(saved.connection, saved.before, target.host, target.port);
    AnnounceChange(store);
    const std::string check = written ? store.CheckSocksProxy(target.host, target.port) : std::string();
    if (!written || !check.empty()) {
        // An apply that did not take hold leaves the desktop as the user had it.
        const ProxyChange undo = PutBack(store, saved);
        if (undo)
            ShowRestored(state, context.listener);
        if (context.relay) {
            std::string ignored;
            if (state.hidden)
                context.relay->Relay(state.proxy, state.relayPort, ignored);
            else
                context.relay->Stop();
        }
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
    state.relayPort = relayPort;
    context.listener.OnProxyApplied(state.proxy);
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
    if (change) {
        // Only now that the desktop no longer names it may the relay go.
        if (context.relay)
            context.relay->Stop();
        state.relayPort = 0;
        ShowRestored(state, context.listener);
    }
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
    const DesktopTarget target = TargetOf(applied, saved.relayPort);
    if (store.HoldsSocksProxy(current, target.host, target.port)) {
        if (applied.IsUsable() && store.CheckSocksProxy(target.host, target.port).empty()
            && RelayRunsFor(state, saved, context)) {
            const bool announce = !state.hidden || !(state.proxy == applied);
            state.hidden = true;
            state.proxy = applied;
            state.relayPort = saved.relayPort;
            if (announce)
                context.listener.OnProxyApplied(state.proxy);
            return true;
        }
        // Still written but no longer carrying the traffic: give the user's
        // own configuration back rather than show an address that is not used.
        PutBack(store, saved);
    } else if (SameSettings(current, saved.before)) {
        RemoveSavedProxySettings(path);
    } else if (const DesktopProxySettings written = store.SocksProxySettings(saved.before, target.host, target.port);
               !written.empty() && EveryKeyFrom(current, saved.before, written)) {
        // Part of the apply (or of a restore) was written when the run ended.
        PutBack(store, saved);
    } else {
        // The user has set up the desktop anew since: that choice stands.
        RemoveSavedProxySettings(path);
    }
    if (context.relay)
        context.relay->Stop();
    state.relayPort = 0;
    ShowRestored(state, context.listener);
    return false;
}

bool DesktopHoldsHiddenState(const ISystemProxyStore& store, const DesktopProxySettings& settings,
                             const HideState& state)
{
    const DesktopTarget target = TargetOf(state.proxy, state.relayPort);
    return store.HoldsSocksProxy(settings, target.host, target.port);
}

void NoteRelayedProxy(HideState& state, const CProxy& proxy, const SystemProxyContext& context)
{
    if (!state.hidden || state.relayPort == 0)
        return;
    // The saved file names the proxy in use, so that a later start shows it.
    const std::string path = SavedProxySettingsPath(context.store.SavedSettingsName());
    SavedProxySettings saved;
    if (LoadSavedProxySettings(path, saved)) {
        saved.applied = proxy;
        StoreSavedProxySettings(path, saved);
    }
    state.proxy = proxy;
    context.listener.OnProxyApplied(state.proxy);
}
