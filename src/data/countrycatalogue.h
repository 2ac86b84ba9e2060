#pragma once

#include <string>
#include <vector>

// Countries travel through the system as indices into this catalogue: the
// 0-based line number of "countries.nbx" (code TAB name per line).
struct CCountryEntry {
    std::string code;  // at most 2 characters, e.g. "US"
    std::string name;  // at most 63 characters
};

class CCountryCatalogue {
public:
    // Replaces the entries with those of the file; false (and empty) when it cannot be opened.
    bool Load(const std::string& path);
    int Count() const { return static_cast<int>(entries_.size()); }
    // nullptr outside 0..Count()-1.
    const CCountryEntry* EntryAt(int index) const;

private:
    std::vector<CCountryEntry> entries_;
};

constexpr const char* kCountryFileName = "countries.nbx";

// The process-wide catalogue, loaded from "countries.nbx" in the working
// directory on the first call; a missing file leaves it empty for good.
CCountryCatalogue& GetCountryCatalogue();

// Index of the first entry whose code equals code exactly (case-sensitive),
// or -1; a text that is not 2 characters long is never found.
int FindCountryByCode(const std::string& code);

// Test hook: forget the process-wide catalogue so the next call loads again.
void ResetCountryCatalogueForTest();
