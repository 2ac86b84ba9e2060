#include "service/socketdiag.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// One exact request (no NLM_F_DUMP): an inet_diag_msg back, or an error.
SocketDiagAnswer Ask(int family, const in_addr& local, int localPort, const in_addr& remote, int remotePort)
{
    SocketDiagAnswer answer;
    const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return answer;
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.request.sdiag_family = static_cast<__u8>(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    inet_diag_sockid& id = message.request.id;
    id.idiag_sport = htons(static_cast<uint16_t>(localPort));
    id.idiag_dport = htons(static_cast<uint16_t>(remotePort));
    id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    if (family == AF_INET) {
        std::memcpy(id.idiag_src, &local, 4);
        std::memcpy(id.idiag_dst, &remote, 4);
    } else {  // ::ffff:a.b.c.d
        id.idiag_src[2] = id.idiag_dst[2] = htonl(0xFFFF);
        std::memcpy(&id.idiag_src[3], &local, 4);
        std::memcpy(&id.idiag_dst[3], &remote, 4);
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const timeval timeout = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    alignas(nlmsghdr) char reply[1024];
    ssize_t got = -1;
    if (sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) == sizeof message)
        got = recv(fd, reply, sizeof reply, 0);
    close(fd);
    const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
    if (got < static_cast<ssize_t>(sizeof(nlmsghdr)) || !NLMSG_OK(header, static_cast<unsigned>(got)))
        return answer;
    if (header->nlmsg_type == NLMSG_ERROR) {
        const auto* error = reinterpret_cast<const nlmsgerr*>(reply + NLMSG_HDRLEN);
        // No such socket is an answer; any other error means no sock_diag.
        answer.answered = header->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) && error->error == -ENOENT;
        return answer;
    }
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return answer;
    answer.answered = true;
    answer.uid = reinterpret_cast<const inet_diag_msg*>(reply + NLMSG_HDRLEN)->idiag_uid;
    return answer;
}

}  // namespace

SocketDiagAnswer DiagSocketOwner(const std::string& localIp, int localPort, const std::string& remoteIp, int remotePort)
{
    in_addr local{}, remote{};
    if (inet_pton(AF_INET, localIp.c_str(), &local) != 1 || inet_pton(AF_INET, remoteIp.c_str(), &remote) != 1)
        return SocketDiagAnswer();
    SocketDiagAnswer answer = Ask(AF_INET, local, localPort, remote, remotePort);
    if (answer.answered && !answer.uid)
        answer = Ask(AF_INET6, local, localPort, remote, remotePort);
    return answer;
}
