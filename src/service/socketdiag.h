#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// The owner of one TCP socket of this machine, asked of the kernel through
// netlink (sock_diag) by its exact addresses: one lookup in the kernel's
// hash, where reading /proc/net/tcp costs a pass over every socket of the
// machine (tens of thousands in TIME_WAIT on a busy one).
struct SocketDiagAnswer {
    bool answered = false;     // false: sock_diag is not available here
    std::optional<uid_t> uid;  // the owner, when the socket exists
};

// The socket whose local end is localIp:localPort and whose remote end is
// remoteIp:remotePort (IPv4 text); an IPv6 socket with IPv4-mapped
// addresses counts too.
SocketDiagAnswer DiagSocketOwner(const std::string& localIp, int localPort, const std::string& remoteIp,
                                 int remotePort);
