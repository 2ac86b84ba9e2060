#pragma once

#include <utility>
#include <vector>

#include "browser/networkstate.h"

// A network state computed from a fixed interface list. Header only: link velmora_browser.
class FakeNetwork : public INetworkState {
public:
    explicit FakeNetwork(std::vector<NetworkInterface> list = Lan()) : interfaces(std::move(list)) {}

    Info Query() override { return DescribeInterfaces(interfaces); }

    static NetworkInterface Loopback() { return {"lo", true, true, "127.0.0.1"}; }
    static std::vector<NetworkInterface> Lan() { return {Loopback(), {"eth0", true, false, "192.0.2.10"}}; }
    static std::vector<NetworkInterface> DialUp() { return {Loopback(), {"ppp0", true, false, "10.64.0.7"}}; }
    // Only loopback is up: not connected.
    static std::vector<NetworkInterface> Offline() { return {Loopback(), {"eth0", false, false, "192.0.2.10"}}; }

    std::vector<NetworkInterface> interfaces;
};
