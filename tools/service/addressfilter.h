#pragma once

#include <cstdint>
#include <string>

// A dotted IPv4 address as a number in host order; false when text is no
// such address.
bool ParseIpv4(const std::string& text, uint32_t& address);

// True for addresses no public proxy has: every range of IANA's IPv4
// registry of reserved addresses (this network, private networks, shared
// address space, loopback, link-local, IETF protocol assignments,
// documentation, 6to4 relay anycast, benchmarking), multicast, the reserved
// 240/4 and the limited broadcast address.
bool IsSpecialPurposeAddress(uint32_t address);
