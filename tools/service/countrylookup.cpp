#include "countrylookup.h"

#include <unistd.h>

#include <climits>

#include "data/countrycatalogue.h"

namespace {
// Slot of an upper-case two-letter code in the index table, or -1.
int Slot(const std::string& code)
{
    if (code.size() != 2 || code[0] < 'A' || code[0] > 'Z' || code[1] < 'A' || code[1] > 'Z')
        return -1;
    return (code[0] - 'A') * 26 + (code[1] - 'A');
}
}  // namespace

CountryLookup::CountryLookup()
{
    indexByCode_.fill(-1);
}

bool CountryLookup::LoadDatabase(const std::string& path, std::string& error)
{
    return database_.Load(path, error);
}

bool CountryLookup::LoadCatalogue(const std::string& path, std::string& error)
{
    CCountryCatalogue catalogue;
    if (!catalogue.Load(path)) {
        error = "cannot read " + path;
        return false;
    }
    indexByCode_.fill(-1);
    // The first entry of a code wins, as FindCountryByCode does in the program.
    for (int index = catalogue.Count() - 1; index >= 0; --index) {
        const int slot = Slot(catalogue.EntryAt(index)->code);
        if (slot >= 0)
            indexByCode_[static_cast<size_t>(slot)] = index;
    }
    return true;
}

std::string CountryLookup::CodeOf(uint32_t address) const
{
    return database_.Lookup(address);
}

int CountryLookup::IndexOf(uint32_t address) const
{
    const int slot = Slot(database_.Lookup(address));
    return slot < 0 ? -1 : indexByCode_[static_cast<size_t>(slot)];
}

std::string DefaultCataloguePath()
{
    char resolved[PATH_MAX];
    if (!realpath("/proc/self/exe", resolved))
        return "";
    std::string folder = resolved;
    folder.resize(folder.rfind('/') + 1);
    for (const char* candidate : {"countries.nbx", "../share/velmora/countries.nbx"}) {
        std::string path = folder + candidate;
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    return "";
}
