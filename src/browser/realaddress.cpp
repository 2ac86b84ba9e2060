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

std::string ComputeRealAddress(const std::string& reportedAddress, INetworkState& network)
{
    if (!reportedAddress.empty())
        return reportedAddress;
    const INetworkState::Info info = network.Query();
    return info.dialUp ? info.dialUpAddress : LocalHostAddress();
}

}  // namespace

std::string GetRealAddress(const std::string& reportedAddress, INetworkState& network)
{
    RealAddressCache& cache = Cache();
    if (!cache.computed) {
        cache.text = ComputeRealAddress(reportedAddress, network);
        cache.computed = true;
    }
    return cache.text;
}

void ResetRealAddressForTest()
{
    Cache() = RealAddressCache();
}
