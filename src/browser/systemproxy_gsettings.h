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
    // Which resolver CheckSocksProxy asks.
    enum class Check {
        Desktop,  // the one GIO picks for this desktop, as GNOME's programs do
        // GIO's GNOME resolver whatever the desktop: it reads these settings
        // as Firefox does on every desktop, while GIO picks it only when
        // XDG_CURRENT_DESKTOP names GNOME (GIO_USE_PROXY_RESOLVER cannot
        // force it elsewhere either).
        GnomeResolver,
    };
    explicit CGSettingsProxyStore(Check check = Check::Desktop) : check_(check) {}

    // Whether GNOME's proxy schemas are installed with every key this store
    // writes, and GSettings has a backend that keeps them (not the memory
    // backend GIO falls back to, whose values no other program sees).
    static bool Available();

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
    // Asks GIO's proxy resolver (see Check).
    std::string CheckSocksProxy(const std::string& host, int port) override;
    // Flushes queued writes; GSettings tells every reader by itself.
    void NotifySettingsChanged() override;

private:
    Check check_;
};
