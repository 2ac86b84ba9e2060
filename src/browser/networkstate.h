#pragma once

#include <string>
#include <vector>

// Whether the machine is online and through which kind of connection.
class INetworkState {
public:
    struct Info {
        bool connected = false;
        bool lan = false;           // an up interface other than loopback and dial-up
        bool dialUp = false;        // a ppp* or sl* interface is up
        std::string name;           // the dial-up connection's interface name, empty for the LAN
        std::string dialUpAddress;  // IPv4 address of the first dial-up interface
        // IPv4 address of the interface of the default route, else of the
        // first LAN interface; never loopback, empty when there is none.
        std::string localAddress;
    };
    virtual ~INetworkState() = default;
    virtual Info Query() = 0;
};

// One IPv4 address of a network interface, as getifaddrs lists it.
struct NetworkInterface {
    std::string name;
    bool up = false;
    bool loopback = false;
    std::string ipv4;  // dotted text; empty for entries without an IPv4 address
};

// Derives the connection state from an interface list: connected when a
// non-loopback interface is up with an IPv4 address. defaultRoute names the
// interface of the default route ("" when unknown).
INetworkState::Info DescribeInterfaces(const std::vector<NetworkInterface>& interfaces,
                                       const std::string& defaultRoute = {});

// The interface of the IPv4 default route in a routing table in the format of
// /proc/net/route (the one with the lowest metric); "" when there is none.
std::string DefaultRouteInterface(const std::string& routeTable);

// The interfaces of this machine (empty when they cannot be listed).
std::vector<NetworkInterface> ListNetworkInterfaces();
// This machine's IPv4 routing table (/proc/net/route), "" when unreadable.
std::string ReadRouteTable();

// The machine's own network state, from ListNetworkInterfaces.
INetworkState& MachineNetworkState();
