#pragma once

#include "settings/settingitem.h"

// Section "Misc:": the remembered "Replace or Append" choices.
class CSettingMiscItem : public CSettingItem {
public:
    bool replaceByGet = false;
    bool replaceByImport = false;

    bool Read(CTabStdioFile& file) override;
    void Write(CTabStdioFile& file) override;
    void SetDefaults() override;
};
