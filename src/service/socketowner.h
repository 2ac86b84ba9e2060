#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Which user runs the server end of a TCP connection to this machine, from
// the kernel's socket tables (/proc/net/tcp and /proc/net/tcp6). Their uid
// column names the user whose program opened the listening socket; the
// sockets it accepts inherit that owner.
struct LocalConnection {
    std::string serverIp;  // the address connected to, as libcurl reports it
    int serverPort = 0;
    std::string clientIp;  // our own end
    int clientPort = 0;
};

// The owner of the accepted socket of this connection when the tables list
// it, else the owner of the sockets listening on its address and port (or on
// the wildcard address there) when they agree. nullopt when none is listed.
std::optional<uid_t> ServerSocketOwner(const LocalConnection& connection, const std::string& tcpTable,
                                       const std::string& tcp6Table);
// The same from this machine's own tables.
std::optional<uid_t> ServerSocketOwner(const LocalConnection& connection);

// Which user runs the client end of a connection to this machine, the way a
// server on this machine sees it; nullopt when the kernel does not list it.
// Asked through sock_diag where the kernel offers it, else from the tables.
std::optional<uid_t> ClientSocketOwner(const LocalConnection& connection);

// 127.0.0.0/8, ::1 and IPv4-mapped loopback.
bool IsLoopbackAddress(const std::string& ip);
