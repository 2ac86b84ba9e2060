#include "settings/settingmiscitem.h"

bool CSettingMiscItem::Read(CTabStdioFile& file)
{
    return ReadBoolLine(file, "ReplacebyGet", replaceByGet)
           && ReadBoolLine(file, "ReplacebyImport", replaceByImport);
}

void CSettingMiscItem::Write(CTabStdioFile& file)
{
    WriteBoolLine(file, "ReplacebyGet", replaceByGet);
    WriteBoolLine(file, "ReplacebyImport", replaceByImport);
}

void CSettingMiscItem::SetDefaults()
{
    replaceByGet = true;
    replaceByImport = true;
}
