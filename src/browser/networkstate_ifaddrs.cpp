#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <fstream>
#include <iterator>

#include "browser/networkstate.h"

std::vector<NetworkInterface> ListNetworkInterfaces()
{
    std::vector<NetworkInterface> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        NetworkInterface item;
        item.name = entry->ifa_name ? entry->ifa_name : "";
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
                item.ipv4 = text;
        }
        result.push_back(item);
    }
    freeifaddrs(list);
    return result;
}

std::string ReadRouteTable()
{
    std::ifstream file("/proc/net/route");
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
