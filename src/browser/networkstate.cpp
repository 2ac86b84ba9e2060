#include "browser/networkstate.h"

#include <cstdlib>
#include <sstream>

namespace {

bool IsDialUpName(const std::string& name)
{
    return name.rfind("ppp", 0) == 0 || name.rfind("sl", 0) == 0;
}

class CInterfaceNetworkState : public INetworkState {
public:
    Info Query() override
    {
        return DescribeInterfaces(ListNetworkInterfaces(), DefaultRouteInterface(ReadRouteTable()));
    }
};

}  // namespace

INetworkState::Info DescribeInterfaces(const std::vector<NetworkInterface>& interfaces, const std::string& defaultRoute)
{
    INetworkState::Info info;
    bool onDefaultRoute = false;
    for (const NetworkInterface& entry : interfaces) {
        if (!entry.up || entry.loopback || entry.ipv4.empty())
            continue;
        info.connected = true;
        const bool loopbackAddress = entry.ipv4.rfind("127.", 0) == 0;
        if (!loopbackAddress && !onDefaultRoute && (entry.name == defaultRoute || info.localAddress.empty())) {
            info.localAddress = entry.ipv4;
            onDefaultRoute = entry.name == defaultRoute;
        }
        if (!IsDialUpName(entry.name)) {
            info.lan = true;
        } else if (!info.dialUp) {
            info.dialUp = true;
            info.name = entry.name;
            info.dialUpAddress = entry.ipv4;
        }
    }
    return info;
}

std::string DefaultRouteInterface(const std::string& routeTable)
{
    // "Iface Destination Gateway Flags RefCnt Use Metric Mask ...", numbers in
    // hex; the default route has destination and mask 0 and is up (flag 1).
    std::istringstream lines(routeTable);
    std::string line, best;
    unsigned long bestMetric = 0;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, mask;
        unsigned long references = 0, use = 0, metric = 0;
        if (!(fields >> name >> destination >> gateway >> flags >> references >> use >> metric >> mask))
            continue;
        const bool up = (std::strtoul(flags.c_str(), nullptr, 16) & 1) != 0;
        if (up && std::strtoul(destination.c_str(), nullptr, 16) == 0 && std::strtoul(mask.c_str(), nullptr, 16) == 0
            && (best.empty() || metric < bestMetric)) {
            best = name;
            bestMetric = metric;
        }
    }
    return best;
}

INetworkState& MachineNetworkState()
{
    static CInterfaceNetworkState state;
    return state;
}
