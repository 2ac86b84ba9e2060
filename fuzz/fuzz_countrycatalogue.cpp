// The country catalogue: one entry per line, whatever the lines hold.
#include <string>

#include "data/countrycatalogue.h"
#include "data/tabstdiofile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = WriteFuzzFile("countries.in", data, size);
    CCountryCatalogue catalogue;
    FUZZ_CHECK(catalogue.Load(input));

    // Line numbers are the country numbers, so every line is an entry.
    int lines = 0;
    CTabStdioFile file;
    FUZZ_CHECK(file.Open(input, CTabStdioFile::modeRead));
    while (file.ReadLine())
        ++lines;
    FUZZ_CHECK(catalogue.Count() == lines);

    for (int i = 0; i < catalogue.Count(); ++i) {
        const CCountryEntry* entry = catalogue.EntryAt(i);
        FUZZ_CHECK(entry != nullptr);
        FUZZ_CHECK(entry->code.size() <= 2);
        FUZZ_CHECK(entry->name.size() <= 63);
    }
    FUZZ_CHECK(catalogue.EntryAt(-1) == nullptr);
    FUZZ_CHECK(catalogue.EntryAt(catalogue.Count()) == nullptr);
    return 0;
}
