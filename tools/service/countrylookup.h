#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "geoipdatabase.h"

// An address's country as the program numbers it: the code from the geoip
// database, turned into its index in the country catalogue (countries.nbx).
class CountryLookup {
public:
    CountryLookup();
    bool LoadDatabase(const std::string& path, std::string& error);
    bool LoadCatalogue(const std::string& path, std::string& error);

    // Two-letter code of address, or "" when the database does not know it.
    std::string CodeOf(uint32_t address) const;
    // Catalogue index of address's country, or -1 when unknown.
    int IndexOf(uint32_t address) const;

private:
    GeoIpDatabase database_;
    std::array<int, 26 * 26> indexByCode_;  // "AA".."ZZ"; -1 where the catalogue has none
};

// Where countries.nbx lies for this program: beside it (a build tree) or in
// ../share/velmora (an install); "" when in neither.
std::string DefaultCataloguePath();
