#include "browser/socksprotocol.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

using Status = SocksClientRequest::Status;

uint8_t At(const std::string& bytes, size_t index)
{
    return static_cast<uint8_t>(bytes[index]);
}

SocksClientRequest Refuse(SocksClientRequest request, std::string reply)
{
    request.status = Status::Refused;
    request.reply = std::move(reply);
    return request;
}

std::string AddressText(int family, const char* bytes)
{
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(family, bytes, text, sizeof text);
    return text;
}

// A name that is an IPv4 address's text travels as that address.
SocksTarget NameTarget(std::string name, uint16_t port)
{
    in_addr address{};
    const bool isAddress = inet_pton(AF_INET, name.c_str(), &address) == 1;
    return {isAddress ? SocksTarget::Kind::Ipv4 : SocksTarget::Kind::Name, std::move(name), port};
}

uint16_t PortAt(const std::string& bytes, size_t index)
{
    return static_cast<uint16_t>(At(bytes, index) << 8 | At(bytes, index + 1));
}

// VN=4 CD DSTPORT(2) DSTIP(4) USERID NUL; SOCKS4a: DSTIP 0.0.0.x (x > 0),
// then the host name and NUL after the user id.
SocksClientRequest ParseSocks4(const std::string& bytes, SocksClientRequest request)
{
    const std::string refusal = SocksClientReply(4, kSocksGeneralFailure);
    if (bytes.size() >= 2 && At(bytes, 1) != 1)
        return Refuse(request, refusal);  // BIND, or no command at all
    if (bytes.size() < 8)
        return request;
    const size_t userEnd = bytes.find('\0', 8);
    if (userEnd == std::string::npos)
        return bytes.size() - 8 > 255 ? Refuse(request, refusal) : request;
    if (userEnd - 8 > 255)
        return Refuse(request, refusal);
    const uint16_t port = PortAt(bytes, 2);
    const bool named = At(bytes, 4) == 0 && At(bytes, 5) == 0 && At(bytes, 6) == 0 && At(bytes, 7) != 0;
    size_t end = userEnd + 1;
    if (named) {
        const size_t nameEnd = bytes.find('\0', end);
        if (nameEnd == std::string::npos)
            return bytes.size() - end > 255 ? Refuse(request, refusal) : request;
        if (nameEnd == end || nameEnd - end > 255)
            return Refuse(request, refusal);  // an empty name, or one too long for SOCKS5
        request.target = NameTarget(bytes.substr(end, nameEnd - end), port);
        end = nameEnd + 1;
    } else {
        request.target = {SocksTarget::Kind::Ipv4, AddressText(AF_INET, bytes.data() + 4), port};
    }
    request.status = Status::Connect;
    request.consumed = end;
    return request;
}

// VER=5 NMETHODS METHODS...
SocksClientRequest ParseSocks5Greeting(const std::string& bytes, SocksClientRequest request)
{
    const std::string noMethod("\x05\xFF", 2);
    if (bytes.size() < 2)
        return request;
    const size_t end = 2 + At(bytes, 1);
    if (end == 2)
        return Refuse(request, noMethod);
    if (bytes.size() < end)
        return request;
    if (bytes.find('\0', 2) >= end)
        return Refuse(request, noMethod);  // no authentication is not among the methods
    request.status = Status::Greeting;
    request.reply = std::string("\x05\x00", 2);
    request.consumed = end;
    return request;
}

// VER=5 CMD RSV ATYP DST.ADDR DST.PORT; ATYP 1 IPv4, 3 a name after its
// length byte, 4 IPv6.
SocksClientRequest ParseSocks5Request(const std::string& bytes, SocksClientRequest request)
{
    if (bytes.size() >= 2 && At(bytes, 1) != 1)
        return Refuse(request, SocksClientReply(5, kSocksCommandNotSupported));
    if (bytes.size() < 5)
        return request;
    size_t end = 0;
    switch (At(bytes, 3)) {
    case 1: end = 4 + 4 + 2; break;
    case 3: end = 5 + At(bytes, 4) + 2; break;
    case 4: end = 4 + 16 + 2; break;
    default: return Refuse(request, SocksClientReply(5, kSocksAddressNotSupported));
    }
    if (bytes.size() < end)
        return request;
    const uint16_t port = PortAt(bytes, end - 2);
    if (At(bytes, 3) == 1) {
        request.target = {SocksTarget::Kind::Ipv4, AddressText(AF_INET, bytes.data() + 4), port};
    } else if (At(bytes, 3) == 4) {
        request.target = {SocksTarget::Kind::Ipv6, AddressText(AF_INET6, bytes.data() + 4), port};
    } else {
        const std::string name = bytes.substr(5, At(bytes, 4));
        if (name.empty() || name.find('\0') != std::string::npos)
            return Refuse(request, SocksClientReply(5, kSocksHostUnreachable));
        request.target = NameTarget(name, port);
    }
    request.status = Status::Connect;
    request.consumed = end;
    return request;
}

void AppendPort(std::string& out, uint16_t port)
{
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xFF);
}

}  // namespace

SocksClientRequest ParseSocksClientRequest(const std::string& bytes, bool greeted)
{
    SocksClientRequest request;
    if (bytes.empty())
        return request;
    request.version = At(bytes, 0);
    if (request.version == 4 && !greeted)
        return ParseSocks4(bytes, request);
    if (request.version == 5)
        return greeted ? ParseSocks5Request(bytes, request) : ParseSocks5Greeting(bytes, request);
    request.version = greeted ? 5 : 0;
    return Refuse(request, std::string());
}

std::string SocksClientReply(int version, uint8_t code)
{
    if (version == 4)
        return std::string({'\0', code == kSocksGranted ? '\x5A' : '\x5B', '\0', '\0', '\0', '\0', '\0', '\0'});
    // BND.ADDR and BND.PORT 0.0.0.0:0: programs do not use them for CONNECT.
    std::string reply("\x05\0\0\x01\0\0\0\0\0\0", 10);
    reply[1] = static_cast<char>(code);
    return reply;
}

std::string Socks5Greeting()
{
    return std::string("\x05\x01\x00", 3);
}

std::string Socks5ConnectRequest(const SocksTarget& target)
{
    std::string request("\x05\x01\x00", 3);
    unsigned char address[16];
    if (target.kind == SocksTarget::Kind::Name) {
        if (target.host.empty() || target.host.size() > 255)
            return std::string();
        request += '\x03';
        request += static_cast<char>(target.host.size());
        request += target.host;
    } else {
        const bool v6 = target.kind == SocksTarget::Kind::Ipv6;
        if (inet_pton(v6 ? AF_INET6 : AF_INET, target.host.c_str(), address) != 1)
            return std::string();
        request += v6 ? '\x04' : '\x01';
        request.append(reinterpret_cast<const char*>(address), v6 ? 16 : 4);
    }
    AppendPort(request, target.port);
    return request;
}

std::string Socks4ConnectRequest(const SocksTarget& target)
{
    std::string request("\x04\x01", 2);
    AppendPort(request, target.port);
    if (target.kind == SocksTarget::Kind::Ipv4) {
        in_addr address{};
        if (inet_pton(AF_INET, target.host.c_str(), &address) != 1)
            return std::string();
        request.append(reinterpret_cast<const char*>(&address), 4);
        request += '\0';  // an empty user id
        return request;
    }
    if (target.kind != SocksTarget::Kind::Name || target.host.empty() || target.host.size() > 255
        || target.host.find('\0') != std::string::npos)
        return std::string();
    request.append("\0\0\0\x01\0", 5);  // 0.0.0.1: the name follows; an empty user id
    request += target.host;
    request += '\0';
    return request;
}

SocksProxyAnswer ParseSocks5MethodAnswer(const std::string& bytes)
{
    SocksProxyAnswer answer;
    if (!bytes.empty() && At(bytes, 0) != 5)
        answer.status = SocksProxyAnswer::Status::Malformed;
    else if (bytes.size() >= 2)
        answer.status = At(bytes, 1) == 0 ? SocksProxyAnswer::Status::Granted : SocksProxyAnswer::Status::Malformed;
    answer.consumed = answer.status == SocksProxyAnswer::Status::Granted ? 2 : 0;
    return answer;
}

SocksProxyAnswer ParseSocks5ConnectAnswer(const std::string& bytes)
{
    using AnswerStatus = SocksProxyAnswer::Status;
    SocksProxyAnswer answer;
    if (!bytes.empty() && At(bytes, 0) != 5) {
        answer.status = AnswerStatus::Malformed;
        return answer;
    }
    if (bytes.size() < 2)
        return answer;
    answer.code = At(bytes, 1);
    if (answer.code != kSocksGranted) {
        answer.status = answer.code >= 2 && answer.code <= 8 ? AnswerStatus::Refused : AnswerStatus::Malformed;
        return answer;
    }
    if (bytes.size() < 5)
        return answer;
    size_t end = 0;
    switch (At(bytes, 3)) {
    case 1: end = 4 + 4 + 2; break;
    case 3: end = 5 + At(bytes, 4) + 2; break;
    case 4: end = 4 + 16 + 2; break;
    default: answer.status = AnswerStatus::Malformed; return answer;
    }
    if (bytes.size() >= end) {
        answer.status = AnswerStatus::Granted;
        answer.consumed = end;
    }
    return answer;
}

SocksProxyAnswer ParseSocks4ConnectAnswer(const std::string& bytes)
{
    using AnswerStatus = SocksProxyAnswer::Status;
    SocksProxyAnswer answer;
    if (!bytes.empty() && At(bytes, 0) != 0)
        answer.status = AnswerStatus::Malformed;
    if (bytes.size() < 8 || answer.status == AnswerStatus::Malformed)
        return answer;
    answer.code = At(bytes, 1);
    if (answer.code == 0x5A) {
        answer.status = AnswerStatus::Granted;
        answer.consumed = 8;
    } else {
        answer.status = answer.code >= 0x5B && answer.code <= 0x5D ? AnswerStatus::Refused : AnswerStatus::Malformed;
    }
    return answer;
}
