#pragma once

#include <map>
#include <string>

#include "browser/networkstate.h"
#include "data/outcome.h"
#include "data/proxy.h"

// Whether a proxy is applied to the system settings, and which one was applied last.
struct HideState {
    bool hidden = false;
    CProxy proxy;
    // The relay's port on 127.0.0.1 that the desktop names while hidden; 0
    // when the desktop names the proxy itself.
    int relayPort = 0;
};

// The one HideState of the process.
HideState& GetHideState();

// Told when a proxy has been put into effect or taken out again, after the
// operation has changed HideState.
class IProxyStateListener {
public:
    virtual ~IProxyStateListener() = default;
    // proxy: the one now carrying the traffic (HideState::proxy).
    virtual void OnProxyApplied(const CProxy& proxy) = 0;
    virtual void OnProxyRestored() = 0;
};

// The desktop's proxy configuration as the keys a store writes, each with its
// value in the store's own text form. An empty value means the key holds the
// desktop's default (nothing set by the user).
using DesktopProxySettings = std::map<std::string, std::string>;

// Where the desktop keeps its proxy settings. The connection names the
// settings to change: empty for the LAN, otherwise the dial-up connection.
// Every operation but CheckSocksProxy does nothing by default: reads and
// writes fail, as on a desktop without a setting to change.
class ISystemProxyStore {
public:
    virtual ~ISystemProxyStore() = default;
    // False on a desktop without a system-wide proxy setting this store can
    // change: Hide IP then changes nothing.
    virtual bool HasSystemSetting() const { return true; }
    // False where Firefox in its system-proxy mode does not read this store
    // (KDE Plasma without GNOME's proxy settings: Firefox then reads only the
    // environment), so the applied proxy does not reach Firefox.
    virtual bool FollowedByFirefox() const { return true; }
    // The name of the file that keeps the earlier configuration (see
    // savedproxysettings.h). Each store keeps its own, so that a desktop
    // started after another never takes over the other's configuration.
    virtual std::string SavedSettingsName() const { return "desktop-proxy"; }
    // Reads every key that WriteSocksProxy changes. False when the desktop's
    // settings cannot be read.
    virtual bool Read(const std::string& /*connection*/, DesktopProxySettings& /*settings*/) { return false; }
    // Sends all traffic through the SOCKS proxy host:port: every other proxy
    // entry is emptied, the bypass list is the one in `before` plus loopback,
    // and the mode becomes manual.
    virtual bool WriteSocksProxy(const std::string& /*connection*/, const DesktopProxySettings& /*before*/,
                                 const std::string& /*host*/, int /*port*/)
    {
        return false;
    }
    // The settings, as Read gives them, that WriteSocksProxy writes over
    // `before`, for a store whose write is seen in steps by a run killed
    // half-way; may be empty for a store that writes in one step (one renamed file).
    virtual DesktopProxySettings SocksProxySettings(const DesktopProxySettings& /*before*/, const std::string& /*host*/,
                                                    int /*port*/) const
    {
        return {};
    }
    // Writes back settings that Read returned, key for key.
    virtual bool Write(const std::string& /*connection*/, const DesktopProxySettings& /*settings*/) { return false; }
    // Switches to a direct connection, leaving the other keys alone: the way
    // back when the earlier configuration has been lost.
    virtual bool WriteDirect(const std::string& /*connection*/) { return false; }
    // Whether settings (as Read returned them) are the ones WriteSocksProxy
    // wrote for host:port: manual mode with that SOCKS proxy.
    virtual bool HoldsSocksProxy(const DesktopProxySettings& /*settings*/, const std::string& /*host*/,
                                 int /*port*/) const
    {
        return false;
    }
    // Asks the resolver the desktop's programs use where http:// and https://
    // requests go. Empty when both go to the SOCKS proxy host:port; otherwise
    // says which request goes where ("http:// pages go to direct://"). No
    // default: an empty answer would claim the proxy carries the traffic.
    virtual std::string CheckSocksProxy(const std::string& host, int port) = 0;
    // Makes running programs see the settings as written, follows every
    // write, whether it succeeded or not.
    virtual void NotifySettingsChanged() {}
};

// The store of this desktop's proxy settings, chosen at the first call (see
// systemproxy_desktop.h).
ISystemProxyStore& DesktopProxyStore();

// The program's relay on 127.0.0.1 (see socksrelay.h) as applying and
// restoring use it: the desktop's programs are sent to the relay, and the
// relay forwards to the applied proxy in the protocol that proxy speaks.
class IProxyRelay {
public:
    virtual ~IProxyRelay() = default;
    // Relays to proxy on 127.0.0.1:port, or on a free port when port is 0;
    // a relay already running keeps its port and takes the new proxy.
    // Returns the port in use, or 0 with problem saying why there is none.
    virtual int Relay(const CProxy& proxy, int port, std::string& problem) = 0;
    virtual void Stop() = 0;
};

// What applying and restoring act on, and whom they tell. Without a relay
// the desktop is pointed at the proxy itself.
struct SystemProxyContext {
    ISystemProxyStore& store;
    INetworkState& network;
    IProxyStateListener& listener;
    IProxyRelay* relay = nullptr;
};

// What an apply or a restore came to. On failure problem says what failed, in
// words for the user ("the desktop's proxy settings could not be written").
struct ProxyChange : Outcome {
    // Apply only: where the desktop's resolver sent pages instead of through
    // the proxy ("http:// pages go to direct://"); empty for other failures.
    std::string bypass;
    // Whether the desktop is as the user had it before the apply (an apply
    // that failed and was undone, or never changed anything).
    bool userSettingsInPlace = false;
};

// Applies the proxy to the active connection, so that it carries all traffic.
// The desktop's configuration from before is kept on disk (see
// savedproxysettings.h) until RestoreSystemProxy puts it back. When the
// desktop's resolver would still send requests around the proxy, the earlier
// configuration is written back and bypass says what would have gone around
// it. On success sets hidden, keeps a copy of the proxy and tells the listener.
ProxyChange ApplySystemProxy(HideState& state, const CProxy& proxy, const SystemProxyContext& context);
// Puts back the configuration the desktop had before the proxy was applied;
// needs no network connection. Done only once the desktop reads back as
// saved: then clears hidden and tells the listener. On failure the saved
// configuration stays on disk for the next try.
ProxyChange RestoreSystemProxy(HideState& state, const SystemProxyContext& context);
// At start-up, and whenever the desktop's settings change while a proxy is
// applied: settles a saved configuration against what the desktop holds.
// - The applied proxy, still carrying all traffic: taken over as applied
//   (sets hidden and the proxy, tells the listener); returns true.
// - The applied proxy, no longer taking effect, or a mix of the saved and the
//   applied values (a run killed while writing): the saved configuration is
//   written back.
// - The saved values: the file is no longer needed and goes.
// - Anything else: the user has set up the desktop anew; that choice stands
//   and the file goes.
// In every case but the first, a proxy shown as applied is shown as restored.
// A desktop pointed at the relay of a run that has ended is taken over only
// when the relay can have its port again.
bool ResumeAppliedProxy(HideState& state, const SystemProxyContext& context);

// Whether settings (as the store reads them) name what a hidden state has
// the desktop pointed at: the relay, else the proxy itself.
bool DesktopHoldsHiddenState(const ISystemProxyStore& store, const DesktopProxySettings& settings,
                             const HideState& state);

// The relay now forwards to proxy (it moved on from one that stopped
// answering, or the rotation chose it): the hide state and the saved file
// name it, and the listener is told.
void NoteRelayedProxy(HideState& state, const CProxy& proxy, const SystemProxyContext& context);
