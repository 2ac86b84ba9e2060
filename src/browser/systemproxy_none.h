#pragma once

#include "browser/systemproxy.h"

// A desktop without a system-wide proxy setting the program can change (a
// bare window manager, XFCE, LXQt...): nothing is read or written, so Hide IP
// can only tell the user what to enter in the browser.
class CNoSystemProxyStore : public ISystemProxyStore {
public:
    bool HasSystemSetting() const override { return false; }
    bool Read(const std::string&, DesktopProxySettings&) override { return false; }
    bool WriteSocksProxy(const std::string&, const DesktopProxySettings&, const std::string&, int) override
    {
        return false;
    }
    bool Write(const std::string&, const DesktopProxySettings&) override { return false; }
    bool WriteDirect(const std::string&) override { return false; }
    bool HoldsSocksProxy(const DesktopProxySettings&, const std::string&, int) const override { return false; }
    std::string CheckSocksProxy(const std::string&, int) override
    {
        return "this desktop has no system-wide proxy setting";
    }
    void NotifySettingsChanged() override {}
    void Refresh() override {}
};
