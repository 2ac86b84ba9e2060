#pragma once

#include "settings/settingitem.h"

// Section "Anonymous_Type:": which anonymity types of proxy are wanted.
class CSettingAnonymousItem : public CSettingItem {
public:
    bool elite = false;
    bool anonymous = false;
    bool transparent = false;

    bool Read(CTabStdioFile& file) override;  // all three false counts as a failure
    void Write(CTabStdioFile& file) override;
    void SetDefaults() override;
};
