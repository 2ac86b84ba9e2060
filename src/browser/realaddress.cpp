#include "browser/realaddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

#include "browser/networkstate.h"

namespace {

struct RealAddressCache {
    bool computed = false;
    bool local = false;
    std::string text;
};

RealAddressCache& Cache()
{
    static RealAddressCache cache;
    return cache;
}

// First IPv4 address of the host's own name; "0.0.0.0" when either lookup fails.
std::string LocalHostAddress()
{
    char name[128] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "0.0.0.0";
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0 || !result)
        return "0.0.0.0";
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    freeaddrinfo(result);
    return text;
}

std::string LocalAddress(INetworkState& network)
{
    const INetworkState::Info info = network.Query();
    if (info.dialUp)
        return info.dialUpAddress;
    if (!info.localAddress.empty())
        return info.localAddress;
    const std::string named = LocalHostAddress();
    return named.rfind("127.", 0) == 0 || named == "0.0.0.0" ? std::string() : named;
}

}  // namespace

std::string GetRealAddress(const std::string& reportedAddress, INetworkState& network)
{
    RealAddressCache& cache = Cache();
    if (!cache.computed) {
        cache.local = reportedAddress.empty();
        cache.text = cache.local ? LocalAddress(network) : reportedAddress;
        cache.computed = true;
    }
    return cache.text;
}

bool RealAddressIsLocal()
{
    return Cache().computed && Cache().local;
}

void ResetRealAddressForTest()
{
    Cache() = RealAddressCache();
}
