#include "data/countrycatalogue.h"

#include <memory>
#include <mutex>

#include "data/tabstdiofile.h"

namespace {
constexpr size_t kMaxCodeLength = 2;
constexpr size_t kMaxNameLength = 63;
}  // namespace

// One entry per line (a line longer than 255 characters counts as several,
// as the text file class reads it). Filling stops at the first single-field
// line; that line and all after it stay empty entries. A malformed line
// (not two fields, code over 2 or name over 63 characters) also stays an
// empty entry, so the lines after it keep their numbers.
bool CCountryCatalogue::Load(const std::string& path)
{
    entries_.clear();
    CTabStdioFile file;
    if (!file.Open(path, CTabStdioFile::modeRead))
        return false;
    bool filling = true;
    while (file.ReadLine()) {
        CCountryEntry entry;
        if (file.FieldCount() == 1)
            filling = false;
        std::string code, name;
        if (filling && file.FieldCount() == 2 && file.ReadField(code, false) && file.ReadField(name, true)
            && code.size() <= kMaxCodeLength && name.size() <= kMaxNameLength) {
            entry.code = std::move(code);
            entry.name = std::move(name);
        }
        entries_.push_back(std::move(entry));
    }
    return true;
}

const CCountryEntry* CCountryCatalogue::EntryAt(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return &entries_[static_cast<size_t>(index)];
}

namespace {
std::mutex catalogueMutex;
std::unique_ptr<CCountryCatalogue> catalogue;
}  // namespace

CCountryCatalogue& GetCountryCatalogue()
{
    std::lock_guard<std::mutex> lock(catalogueMutex);
    if (!catalogue) {
        catalogue = std::make_unique<CCountryCatalogue>();
        catalogue->Load(kCountryFileName);  // a missing file leaves it empty, not retried
    }
    return *catalogue;
}

int FindCountryByCode(const std::string& code)
{
    if (code.size() != kMaxCodeLength)
        return -1;
    const CCountryCatalogue& countries = GetCountryCatalogue();
    for (int i = 0; i < countries.Count(); ++i)
        if (countries.EntryAt(i)->code == code)
            return i;
    return -1;
}

void ResetCountryCatalogueForTest()
{
    std::lock_guard<std::mutex> lock(catalogueMutex);
    catalogue.reset();
}
