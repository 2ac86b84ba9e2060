#pragma once

#include <string>

class CTabStdioFile;

// One section of the settings file. Read parses the section body that follows
// its header line, Write appends the body, SetDefaults puts the defaults in place.
class CSettingItem {
public:
    virtual ~CSettingItem();
    // True when the whole body was read and every value was accepted.
    virtual bool Read(CTabStdioFile& file) = 0;
    virtual void Write(CTabStdioFile& file) = 0;
    virtual void SetDefaults() = 0;

protected:
    // Reads a key line "key TAB value": the key must not end its line and must
    // equal key; the value must end the line.
    static bool ReadKeyLine(CTabStdioFile& file, const char* key, std::string& value);
    static bool ReadBoolLine(CTabStdioFile& file, const char* key, bool& value);
    // Reads a number and accepts it only within [low, high].
    static bool ReadNumberLine(CTabStdioFile& file, const char* key, int low, int high, int& value);
    static void WriteKeyLine(CTabStdioFile& file, const char* key, const std::string& value);
    static void WriteBoolLine(CTabStdioFile& file, const char* key, bool value);
    static void WriteNumberLine(CTabStdioFile& file, const char* key, int value);
};
