#pragma once

#include "browser/systemproxy.h"

// The desktop proxy settings in GSettings (schema org.gnome.system.proxy),
// which GNOME, Chromium and Firefox in its system-proxy mode follow. GSettings
// keeps one global setting, so the connection name is not used. When the
// schema is not installed every write fails instead of aborting the program.
class CGSettingsProxyStore : public ISystemProxyStore {
public:
    bool WriteProxy(const std::string& connection, const std::string& host, int port,
                    const std::string& bypass) override;
    bool WriteDirect(const std::string& connection) override;
    void NotifySettingsChanged() override;
    void Refresh() override;
};
