#pragma once

#include <string>

#include "browser/systemproxy.h"

// KDE Plasma's proxy settings: the "[Proxy Settings]" group of kioslaverc in
// $XDG_CONFIG_HOME (default ~/.config), which KDE's programs read through KIO
// and Chromium reads on KDE. Like GSettings it holds one global setting, so
// the connection name is not used.
//
// Keys are the file's own key names, each holding its whole line as it
// stands in the file ("ProxyType=1"; "" when the key is missing), plus
// "file" and "group", which say whether the file existed (and whether it
// ended with a line break) and whether it had a proxy group. Restoring them
// gives the file back byte for byte.
class CKdeProxyStore : public ISystemProxyStore {
public:
    bool Read(const std::string& connection, DesktopProxySettings& settings) override;
    bool WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before, const std::string& host,
                         int port) override;
    // Written in one step, but a store written beside it may be caught half-way.
    DesktopProxySettings SocksProxySettings(const DesktopProxySettings& before, const std::string& host,
                                            int port) const override;
    bool Write(const std::string& connection, const DesktopProxySettings& settings) override;
    bool WriteDirect(const std::string& connection) override;
    bool HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host, int port) const override;
    // Reads kioslaverc back the way Chromium's KDE reader does (KIO follows
    // the same rules): every kind of page must go to the SOCKS proxy. Chromium
    // reads ~/.config/kioslaverc whatever XDG_CONFIG_HOME says, so when that
    // is another file it is checked too.
    std::string CheckSocksProxy(const std::string& host, int port) override;
    // Sends KIO's reload signal on the session bus, when there is one (the
    // file itself is complete on disk once renamed).
    void NotifySettingsChanged() override;
    std::string SavedSettingsName() const override { return "desktop-proxy-kde"; }
    // Firefox reads GNOME's proxy settings on KDE, never kioslaverc.
    bool FollowedByFirefox() const override { return false; }
};

// $XDG_CONFIG_HOME/kioslaverc, or ~/.config/kioslaverc; read from the
// environment on every call.
std::string KioslavercPath();
