#include "settings/settingswitchitem.h"

bool CSettingSwitchItem::Read(CTabStdioFile& file)
{
    return ReadBoolLine(file, "Firefox", firefox) && ReadNumberLine(file, "Ratio", 20, 100, ratio)
           && ReadNumberLine(file, "Interval", 1, 100, interval);
}

void CSettingSwitchItem::Write(CTabStdioFile& file)
{
    WriteBoolLine(file, "Firefox", firefox);
    WriteNumberLine(file, "Ratio", ratio);
    WriteNumberLine(file, "Interval", interval);
}

void CSettingSwitchItem::SetDefaults()
{
    firefox = false;
    ratio = 30;
    interval = 2;
}
