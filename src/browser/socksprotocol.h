#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SOCKS bytes of the local relay, as pure functions: the requests of the
// desktop's programs (SOCKS4, SOCKS4a, SOCKS5 without authentication), the
// relay's replies to them, and what the relay sends to and reads from the
// proxy it forwards to.

// Where a connection goes: a host name, or an IPv4 or IPv6 address's text.
struct SocksTarget {
    enum class Kind { Ipv4, Ipv6, Name };
    Kind kind = Kind::Ipv4;
    std::string host;
    uint16_t port = 0;
};

// Reply codes of SOCKS5, which the relay also uses for its own outcomes.
enum SocksReply : uint8_t {
    kSocksGranted = 0x00,
    kSocksGeneralFailure = 0x01,
    kSocksHostUnreachable = 0x04,
    kSocksCommandNotSupported = 0x07,
    kSocksAddressNotSupported = 0x08,
};

// The longest handshake a client may send: a SOCKS5 greeting (2 + 255) and
// request (7 + 255), or a SOCKS4a request with a user id and a name.
constexpr size_t kMaxClientHandshake = 1024;

// What a client's bytes so far ask for.
struct SocksClientRequest {
    enum class Status {
        Incomplete,  // more bytes are needed
        Greeting,    // a SOCKS5 greeting offering no authentication: send reply, then read the request
        Connect,     // a complete CONNECT request for target
        Refused,     // send reply (empty: none), then close
    };
    Status status = Status::Incomplete;
    int version = 0;      // 4 or 5; 0 when the first byte is neither
    SocksTarget target;   // Connect
    size_t consumed = 0;  // Greeting, Connect: bytes used; the rest is the client's early data
    std::string reply;
};

// Parses the client's bytes; greeted: its SOCKS5 greeting was answered and
// bytes begin with the request.
SocksClientRequest ParseSocksClientRequest(const std::string& bytes, bool greeted);

// The relay's answer to a client's request: code is a SOCKS5 reply code; a
// SOCKS4 client is told granted (0x5A) or refused (0x5B).
std::string SocksClientReply(int version, uint8_t code);

// What the relay sends the proxy.
std::string Socks5Greeting();  // version 5, one method: no authentication
// A SOCKS5 CONNECT request; empty when a name is longer than 255 bytes.
std::string Socks5ConnectRequest(const SocksTarget& target);
// A SOCKS4 CONNECT request for an IPv4 target, SOCKS4a for a name; empty for IPv6.
std::string Socks4ConnectRequest(const SocksTarget& target);

// A proxy's answer so far.
struct SocksProxyAnswer {
    enum class Status {
        Incomplete,  // more bytes are needed
        Granted,     // success; bytes after consumed belong to the connection
        Refused,     // a well-formed refusal of the destination, code as sent
        Malformed,   // not an answer of that SOCKS version, or an answer that makes the proxy unusable
    };
    Status status = Status::Incomplete;
    uint8_t code = 0;
    size_t consumed = 0;
};

// The answer to Socks5Greeting: granted when the proxy chose no authentication.
SocksProxyAnswer ParseSocks5MethodAnswer(const std::string& bytes);
// The answer to a SOCKS5 request: refused for codes 2 to 8 (the destination
// refused, unreachable or not allowed); code 1, a failure of the server
// itself, and unknown codes are malformed.
SocksProxyAnswer ParseSocks5ConnectAnswer(const std::string& bytes);
// The answer to a SOCKS4 request: refused for 0x5B to 0x5D.
SocksProxyAnswer ParseSocks4ConnectAnswer(const std::string& bytes);
