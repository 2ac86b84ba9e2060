#pragma once

#include <memory>

#include "settings/settinganonymousitem.h"
#include "settings/settingcountryitem.h"
#include "settings/settingitem.h"
#include "settings/settingmiscitem.h"
#include "settings/settingswitchitem.h"
#include "settings/settingtestitem.h"

constexpr const char* kSettingFileName = "setting.nbx";

// All user settings: five sections kept in "setting.nbx" in the current folder.
class CSetting {
public:
    static constexpr int kSectionCount = 5;

    bool SettingFileExists();
    // Reads the file; every section that is missing or fails to read takes its
    // defaults. Never fails as a whole.
    void Load();
    // Creates every section with its defaults without reading the file.
    void CreateDefaults();
    // Writes all sections to a temporary file beside the settings file and
    // renames it over; false (and the old file untouched) when that fails.
    bool Save();
    bool IsLoaded() const { return loaded; }

    CSettingAnonymousItem* GetAnonymousItem();
    CSettingCountryItem* GetCountryItem();
    CSettingTestItem* GetTestItem();
    CSettingSwitchItem* GetSwitchItem();
    CSettingMiscItem* GetMiscItem();
    CSettingItem* GetItem(int index);  // nullptr outside 0..4 or before loading

    // Back to empty and not loaded, as at process start.
    void ResetForTest();

private:
    std::unique_ptr<CSettingItem> items[kSectionCount];
    bool loaded = false;
};

CSetting& GetSetting();
