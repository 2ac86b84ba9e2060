#include "settings/settingcountryitem.h"

#include <algorithm>

#include "data/countrycatalogue.h"
#include "data/tabstdiofile.h"

namespace {
const char kEndOfCountry[] = "EndOfCountry";
}

CSettingCountryItem::CSettingCountryItem()
    : countryCount(static_cast<unsigned>(std::max(0, GetCountryCatalogue().Count()))),
      countryFlags(countryCount, 0)
{
}

bool CSettingCountryItem::Read(CTabStdioFile& file)
{
    if (!ReadBoolLine(file, "AllCountries", allCountries))
        return false;
    // One bare line per country; the flags only count when their number
    // matches the catalogue, so a catalogue that changed size gives defaults.
    unsigned lines = 0;
    std::string text;
    while (lines < countryCount && !file.FieldEquals(kEndOfCountry) && file.ReadField(text, true))
        countryFlags[lines++] = text != "0";
    return file.FieldEquals(kEndOfCountry) && file.ReadField(text, true) && lines == countryCount;
}

void CSettingCountryItem::Write(CTabStdioFile& file)
{
    WriteBoolLine(file, "AllCountries", allCountries);
    for (unsigned char flag : countryFlags)
        file.WriteField(flag ? "1" : "0", true);
    file.WriteField(kEndOfCountry, true);
}

void CSettingCountryItem::SetDefaults()
{
    allCountries = true;
    std::fill(countryFlags.begin(), countryFlags.end(), 0);
}
