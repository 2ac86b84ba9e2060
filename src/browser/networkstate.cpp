#include "browser/networkstate.h"

namespace {

bool IsDialUpName(const std::string& name) {
    return name.rfind("ppp", 0) == 0 || name.rfind("sl", 0) == 0;
}

class CInterfaceNetworkState : public INetworkState {
public:
    Info Query() override { return DescribeInterfaces(ListNetworkInterfaces()); }
};

INetworkState*& OverrideState() {
    static INetworkState* state = nullptr;
    return state;
}

}  // namespace

INetworkState::Info DescribeInterfaces(const std::vector<NetworkInterface>& interfaces) {
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

INetworkState& NetworkState() {
    static CInterfaceNetworkState defaultState;
    INetworkState* state = OverrideState();
    return state ? *state : defaultState;
}

void SetNetworkStateForTest(INetworkState* state) { OverrideState() = state; }

bool HasNetworkConnection() { return NetworkState().Query().connected; }
