#include "settings/setting.h"

#include <cstdio>
#include <string>

#include "data/tabstdiofile.h"

namespace {
// Header lines in section index order.
const char* const kHeaders[CSetting::kSectionCount] = {"Anonymous_Type:", "Country:", "Test:",
                                                        "Switch:", "Misc:"};

int HeaderIndex(const std::string& field)
{
    for (int i = 0; i < CSetting::kSectionCount; ++i)
        if (field == kHeaders[i])
            return i;
    return -1;
}

std::unique_ptr<CSettingItem> MakeSection(int index)
{
    switch (index) {
    case 0: return std::make_unique<CSettingAnonymousItem>();
    case 1: return std::make_unique<CSettingCountryItem>();
    case 2: return std::make_unique<CSettingTestItem>();
    case 3: return std::make_unique<CSettingSwitchItem>();
    default: return std::make_unique<CSettingMiscItem>();
    }
}
}  // namespace

bool CSetting::SettingFileExists()
{
    CTabStdioFile file;
    const bool exists = file.Open(kSettingFileName, CTabStdioFile::modeRead);
    file.Close();
    return exists;
}

void CSetting::Load()
{
    for (auto& item : items)
        item.reset();
    CTabStdioFile file;
    if (file.Open(kSettingFileName, CTabStdioFile::modeRead)) {
        // Sections may come in any order; a repeated header replaces the
        // earlier section. Reading stops at the first line that is not a header.
        std::string field;
        while (file.ReadField(field, true)) {
            const int index = HeaderIndex(field);
            if (index < 0)
                break;
            items[index] = MakeSection(index);
            if (!items[index]->Read(file))
                items[index]->SetDefaults();
        }
        file.Close();
    }
    for (int i = 0; i < kSectionCount; ++i) {
        if (!items[i]) {
            items[i] = MakeSection(i);
            items[i]->SetDefaults();
        }
    }
    loaded = true;
}

void CSetting::CreateDefaults()
{
    for (int i = 0; i < kSectionCount; ++i) {
        items[i] = MakeSection(i);
        items[i]->SetDefaults();
    }
    loaded = true;
}

bool CSetting::Save()
{
    if (!loaded)
        return false;
    // Write beside the file and rename over it, so that a failed write never
    // leaves a truncated settings file behind.
    const std::string temporary = std::string(kSettingFileName) + ".tmp";
    CTabStdioFile file;
    if (!file.Open(temporary, CTabStdioFile::modeCreate))
        return false;
    for (int i = 0; i < kSectionCount; ++i) {
        file.WriteField(kHeaders[i], true);
        items[i]->Write(file);
    }
    file.Close();
    if (file.Failed() || std::rename(temporary.c_str(), kSettingFileName) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

CSettingAnonymousItem* CSetting::GetAnonymousItem() { return static_cast<CSettingAnonymousItem*>(GetItem(0)); }
CSettingCountryItem* CSetting::GetCountryItem() { return static_cast<CSettingCountryItem*>(GetItem(1)); }
CSettingTestItem* CSetting::GetTestItem() { return static_cast<CSettingTestItem*>(GetItem(2)); }
CSettingSwitchItem* CSetting::GetSwitchItem() { return static_cast<CSettingSwitchItem*>(GetItem(3)); }
CSettingMiscItem* CSetting::GetMiscItem() { return static_cast<CSettingMiscItem*>(GetItem(4)); }

CSettingItem* CSetting::GetItem(int index)
{
    return index >= 0 && index < kSectionCount ? items[index].get() : nullptr;
}

void CSetting::ResetForTest()
{
    for (auto& item : items)
        item.reset();
    loaded = false;
}

CSetting& GetSetting()
{
    static CSetting setting;
    return setting;
}
