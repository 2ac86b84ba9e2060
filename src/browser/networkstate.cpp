#include "browser/networkstate.h"

namespace {

bool IsDialUpName(const std::string& name)
{
    return name.rfind("ppp", 0) == 0 || name.rfind("sl", 0) == 0;
}

class CInterfaceNetworkState : public INetworkState {
public:
    Info Query() override { return DescribeInterfaces(ListNetworkInterfaces()); }
};

}  // namespace

INetworkState::Info DescribeInterfaces(const std::vector<NetworkInterface>& interfaces)
{
    INetworkState::Info info;
    for (const NetworkInterface& entry : interfaces) {
        if (!entry.up || entry.loopback || entry.ipv4.empty())
            continue;
        info.connected = true;
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

INetworkState& MachineNetworkState()
{
    static CInterfaceNetworkState state;
    return state;
}
