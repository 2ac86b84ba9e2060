#pragma once

#include "settings/settingitem.h"

// Section "Switch:": whether Firefox follows the system proxy, and the
// proxy switching parameters.
class CSettingSwitchItem : public CSettingItem {
public:
    bool firefox = false;
    int interval = 0;  // minutes, 1 to 100
    int ratio = 0;     // percent, 20 to 100

    bool Read(CTabStdioFile& file) override;
    void Write(CTabStdioFile& file) override;
    void SetDefaults() override;
};
