// The geoip file (Tor's "FIRST,LAST,CC" lines): a file that fails says why,
// one that loads answers every lookup with a two-letter code or nothing.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzzsupport.h"
#include "geoipdatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile("geoip", data, size);
    GeoIpDatabase database;
    std::string error;
    if (!database.Load(path, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    for (uint32_t address : {0u, 1u, 0x7f000001u, 0x08080808u, 0xffffffffu}) {
        const std::string code = database.Lookup(address);
        FUZZ_CHECK(code.empty() || code.size() == 2);
    }
    if (size >= 4) {  // an address the input chooses
        uint32_t any = 0;
        std::memcpy(&any, data, 4);
        const std::string code = database.Lookup(any);
        FUZZ_CHECK(code.empty() || code.size() == 2);
    }
    return 0;
}
