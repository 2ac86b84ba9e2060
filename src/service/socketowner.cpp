#include "service/socketowner.h"

#include "service/socketdiag.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// Addresses as 16 bytes; IPv4 in its IPv6-mapped form, as a dual-stack
// socket of /proc/net/tcp6 shows an IPv4 peer.
using Address = std::array<unsigned char, 16>;

std::optional<Address> ParseIp(const std::string& text)
{
    Address address{};
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        address[10] = address[11] = 0xff;
        std::memcpy(address.data() + 12, &v4, 4);
        return address;
    }
    if (inet_pton(AF_INET6, text.c_str(), address.data()) == 1)
        return address;
    return std::nullopt;
}

// "0100007F:1F90" (tcp) or 32 hex digits and a port (tcp6): the kernel prints
// each 32-bit word of the address as a number in host byte order.
bool ParseTableEndpoint(const std::string& text, bool v6, Address& address, int& port)
{
    const size_t colon = text.find(':');
    const size_t digits = v6 ? 32 : 8;
    if (colon != digits || text.size() != colon + 5)
        return false;
    address = {};
    unsigned char* words = v6 ? address.data() : address.data() + 12;
    if (!v6)
        address[10] = address[11] = 0xff;
    for (size_t i = 0; i < digits; i += 8) {
        const uint32_t word = static_cast<uint32_t>(std::stoul(text.substr(i, 8), nullptr, 16));
        std::memcpy(words + i / 2, &word, 4);
    }
    port = static_cast<int>(std::stoul(text.substr(colon + 1), nullptr, 16));
    return true;
}

bool IsWildcard(const Address& address)
{
    static const Address any6{};
    Address any4{};
    any4[10] = any4[11] = 0xff;
    return address == any6 || address == any4;
}

struct Owners {
    std::optional<uid_t> accepted;
    std::optional<uid_t> listener;
    bool listenersDisagree = false;
};

constexpr int kListen = 0x0A;
constexpr int kTimeWait = 0x06;  // owned by no one any more: listed as uid 0

void Scan(const std::string& table, bool v6, const Address& server, int serverPort, const Address& client,
          int clientPort, Owners& owners)
{
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // the column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        unsigned long uid = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid))
            continue;
        Address localAddress, remoteAddress;
        int localPort = 0, remotePort = 0;
        try {
            if (!ParseTableEndpoint(local, v6, localAddress, localPort)
                || !ParseTableEndpoint(remote, v6, remoteAddress, remotePort))
                continue;
        } catch (const std::exception&) {
            continue;  // not hexadecimal
        }
        const int status = static_cast<int>(std::strtol(state.c_str(), nullptr, 16));
        if (status != kListen && status != kTimeWait && localAddress == server && localPort == serverPort
            && remoteAddress == client && remotePort == clientPort) {
            owners.accepted = static_cast<uid_t>(uid);
        } else if (status == kListen && localPort == serverPort
                   && (localAddress == server || IsWildcard(localAddress))) {
            if (owners.listener && *owners.listener != uid)
                owners.listenersDisagree = true;
            owners.listener = static_cast<uid_t>(uid);
        }
    }
}

std::string ReadAll(const char* path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Owners ScanTables(const LocalConnection& connection, const std::string& tcpTable, const std::string& tcp6Table)
{
    Owners owners;
    const std::optional<Address> server = ParseIp(connection.serverIp);
    const std::optional<Address> client = ParseIp(connection.clientIp);
    if (!server || !client)
        return owners;
    Scan(tcpTable, false, *server, connection.serverPort, *client, connection.clientPort, owners);
    Scan(tcp6Table, true, *server, connection.serverPort, *client, connection.clientPort, owners);
    return owners;
}

}  // namespace

std::optional<uid_t> ServerSocketOwner(const LocalConnection& connection, const std::string& tcpTable,
                                       const std::string& tcp6Table)
{
    const Owners owners = ScanTables(connection, tcpTable, tcp6Table);
    if (owners.accepted)
        return owners.accepted;
    if (owners.listenersDisagree)
        return std::nullopt;
    return owners.listener;
}

std::optional<uid_t> ServerSocketOwner(const LocalConnection& connection)
{
    return ServerSocketOwner(connection, ReadAll("/proc/net/tcp"), ReadAll("/proc/net/tcp6"));
}

std::optional<uid_t> ClientSocketOwner(const LocalConnection& connection)
{
    const SocketDiagAnswer diag =
        DiagSocketOwner(connection.clientIp, connection.clientPort, connection.serverIp, connection.serverPort);
    if (diag.answered)
        return diag.uid;
    // The client's socket has the client's address as its local end.
    const LocalConnection mirrored{connection.clientIp, connection.clientPort, connection.serverIp,
                                   connection.serverPort};
    return ScanTables(mirrored, ReadAll("/proc/net/tcp"), ReadAll("/proc/net/tcp6")).accepted;
}

bool IsLoopbackAddress(const std::string& ip)
{
    const std::optional<Address> address = ParseIp(ip);
    if (!address)
        return false;
    static const Address loopback6 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const bool mapped = (*address)[10] == 0xff && (*address)[11] == 0xff
                        && std::all_of(address->begin(), address->begin() + 10, [](unsigned char b) { return b == 0; });
    return *address == loopback6 || (mapped && (*address)[12] == 127);
}
