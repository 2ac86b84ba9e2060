#include "data/ui/countryname.h"

#include "data/countrycatalogue.h"

QString CountryName(int country)
{
    const CCountryEntry* entry = GetCountryCatalogue().EntryAt(country);
    if (!entry)
        return {};
    return QString::fromLatin1(entry->name.data(), static_cast<qsizetype>(entry->name.size()));
}
