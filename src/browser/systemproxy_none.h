#pragma once

#include "browser/systemproxy.h"

// A desktop without a system-wide proxy setting the program can change (a
// bare window manager, XFCE, LXQt...): nothing is read or written, so Hide IP
// can only tell the user what to enter in the browser.
class CNoSystemProxyStore : public ISystemProxyStore {
public:
    bool HasSystemSetting() const override { return false; }
    std::string CheckSocksProxy(const std::string&, int) override
    {
        return "this desktop has no system-wide proxy setting";
    }
};
