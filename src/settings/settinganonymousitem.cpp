#include "settings/settinganonymousitem.h"

bool CSettingAnonymousItem::Read(CTabStdioFile& file)
{
    return ReadBoolLine(file, "Elite", elite) && ReadBoolLine(file, "Anonymous", anonymous)
           && ReadBoolLine(file, "Transparent", transparent)
           && (elite || anonymous || transparent);  // wanting no type at all is not a choice
}

void CSettingAnonymousItem::Write(CTabStdioFile& file)
{
    WriteBoolLine(file, "Elite", elite);
    WriteBoolLine(file, "Anonymous", anonymous);
    WriteBoolLine(file, "Transparent", transparent);
}

void CSettingAnonymousItem::SetDefaults()
{
    elite = true;
    anonymous = true;
    transparent = false;
}
