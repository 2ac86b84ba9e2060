// The kernel's socket tables (/proc/net/tcp and tcp6) as the service client
// and the service read them: any text gives an owner or none, never a crash.
#include <string>

#include "fuzzsupport.h"
#include "service/socketowner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string table(reinterpret_cast<const char*>(data), size);
    ServerSocketOwner({"127.0.0.1", 8808, "127.0.0.1", 40000}, table, table);
    ServerSocketOwner({"::1", 8808, "::1", 40000}, std::string(), table);
    return 0;
}
