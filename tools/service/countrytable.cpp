#include "countrytable.h"

#include <arpa/inet.h>

#include <fstream>
#include <sstream>

namespace {
bool ParseAddress(const std::string& text, uint32_t& address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}
}  // namespace

bool CountryTable::Load(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        std::istringstream fields(line);
        std::string cidr, code, extra;
        if (!(fields >> cidr) || cidr[0] == '#')
            continue;
        const size_t slash = cidr.find('/');
        uint32_t network = 0;
        int bits = -1;
        if (slash != std::string::npos)
            bits = std::atoi(cidr.c_str() + slash + 1);
        if (slash == std::string::npos || !ParseAddress(cidr.substr(0, slash), network) || bits < 0 || bits > 32
            || !(fields >> code) || code.size() != 2 || (fields >> extra)) {
            error = path + ":" + std::to_string(number) + ": expected \"a.b.c.d/bits CC\"";
            return false;
        }
        const uint32_t mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
        ranges_.push_back({network & mask, mask, code});
    }
    return true;
}

std::string CountryTable::Lookup(const std::string& address) const
{
    uint32_t value = 0;
    if (!ParseAddress(address, value))
        return "";
    for (const Range& range : ranges_)
        if ((value & range.mask) == range.network)
            return range.code;
    return "";
}
