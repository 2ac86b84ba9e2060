#pragma once

#include "browser/systemproxy.h"

// The desktop proxy settings in GSettings (schema org.gnome.system.proxy and
// its http, https, ftp and socks children), which GNOME's own programs,
// Chromium and Firefox in its system-proxy mode follow. GSettings keeps one
// global setting, so the connection name is not used. When a schema or key is
// missing every operation fails instead of aborting the program.
//
// Keys are named relative to org.gnome.system.proxy ("mode", "socks.host");
// values are GVariant texts ("'manual'", "1080").
class CGSettingsProxyStore : public ISystemProxyStore {
public:
    bool Read(const std::string& connection, DesktopProxySettings& settings) override;
    bool WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before, const std::string& host,
                         int port) override;
    // Each schema's keys reach the backend together (delayed, then applied);
    // nothing is written when any value is refused.
    bool Write(const std::string& connection, const DesktopProxySettings& settings) override;
    DesktopProxySettings SocksProxySettings(const DesktopProxySettings& before, const std::string& host,
                                            int port) const override;
    bool WriteDirect(const std::string& connection) override;
    bool HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host, int port) const override;
    // Asks GIO's proxy resolver, the one GNOME's programs use.
    std::string CheckSocksProxy(const std::string& host, int port) override;
    void NotifySettingsChanged() override;
    void Refresh() override;
};
