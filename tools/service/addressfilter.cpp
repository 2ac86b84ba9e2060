#include "addressfilter.h"

#include <arpa/inet.h>

bool ParseIpv4(const std::string& text, uint32_t& address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

namespace {
struct Block {
    uint32_t network;
    int bits;
};

constexpr uint32_t Net(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

const Block kSpecialPurpose[] = {
    {Net(0, 0, 0, 0), 8},        // "this network"
    {Net(10, 0, 0, 0), 8},       // private
    {Net(100, 64, 0, 0), 10},    // shared address space (carrier-grade NAT)
    {Net(127, 0, 0, 0), 8},      // loopback
    {Net(169, 254, 0, 0), 16},   // link-local
    {Net(172, 16, 0, 0), 12},    // private
    {Net(192, 0, 0, 0), 24},     // IETF protocol assignments
    {Net(192, 0, 2, 0), 24},     // documentation (TEST-NET-1)
    {Net(192, 88, 99, 0), 24},   // 6to4 relay anycast
    {Net(192, 168, 0, 0), 16},   // private
    {Net(198, 18, 0, 0), 15},    // benchmarking
    {Net(198, 51, 100, 0), 24},  // documentation (TEST-NET-2)
    {Net(203, 0, 113, 0), 24},   // documentation (TEST-NET-3)
    {Net(224, 0, 0, 0), 4},      // multicast
    {Net(240, 0, 0, 0), 4},      // reserved, and 255.255.255.255 (limited broadcast) in it
};
}  // namespace

bool IsSpecialPurposeAddress(uint32_t address)
{
    for (const Block& block : kSpecialPurpose) {
        const uint32_t mask = ~uint32_t(0) << (32 - block.bits);
        if ((address & mask) == block.network)
            return true;
    }
    return false;
}
