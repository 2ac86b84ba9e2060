#include "settings/settingitem.h"

#include "data/tabstdiofile.h"

CSettingItem::~CSettingItem() = default;

bool CSettingItem::ReadKeyLine(CTabStdioFile& file, const char* key, std::string& value)
{
    // Check the key before taking it, so that a foreign line stays unread.
    std::string field;
    return file.FieldEquals(key) && file.ReadField(field, false) && file.ReadField(value, true);
}

bool CSettingItem::ReadBoolLine(CTabStdioFile& file, const char* key, bool& value)
{
    std::string text;
    if (!ReadKeyLine(file, key, text))
        return false;
    value = text != "0";
    return true;
}

bool CSettingItem::ReadNumberLine(CTabStdioFile& file, const char* key, int low, int high, int& value)
{
    std::string text;
    if (!ReadKeyLine(file, key, text))
        return false;
    value = CTabStdioFile::ToInt(text);
    return value >= low && value <= high;
}

void CSettingItem::WriteKeyLine(CTabStdioFile& file, const char* key, const std::string& value)
{
    file.WriteField(key, false);
    file.WriteField(value, true);
}

void CSettingItem::WriteBoolLine(CTabStdioFile& file, const char* key, bool value)
{
    WriteKeyLine(file, key, value ? "1" : "0");
}

void CSettingItem::WriteNumberLine(CTabStdioFile& file, const char* key, int value)
{
    WriteKeyLine(file, key, std::to_string(value));
}
