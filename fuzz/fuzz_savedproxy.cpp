// The desktop's saved proxy configuration (desktop-proxy.ini): whatever a
// damaged file holds, what loads from it is stored and loads back the same,
// every key of the desktop's settings with its value.
#include <cstring>
#include <string>

#include "browser/savedproxysettings.h"
#include "fuzzsupport.h"

namespace {

bool Same(const SavedProxySettings& a, const SavedProxySettings& b)
{
    return a.connection == b.connection && a.before == b.before && std::strcmp(a.applied.ip, b.applied.ip) == 0
           && a.applied.port == b.applied.port && a.applied.country == b.applied.country;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile("desktop-proxy.ini", data, size);
    SavedProxySettings loaded;
    if (!LoadSavedProxySettings(path, loaded))
        return 0;
    const std::string copy = FuzzWorkDir() + "/state/copy.ini";
    FUZZ_CHECK(StoreSavedProxySettings(copy, loaded));
    SavedProxySettings again;
    FUZZ_CHECK(LoadSavedProxySettings(copy, again));
    FUZZ_CHECK(Same(loaded, again));
    return 0;
}
