#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Maps IPv4 addresses to country codes by CIDR ranges, first match wins.
class CountryTable {
public:
    // Lines "198.51.100.0/24 DE"; blank lines and lines starting with '#' are
    // skipped. False when the file cannot be read or a line is malformed.
    bool Load(const std::string& path, std::string& error);
    // The code of the first range holding address, or "" when none does.
    std::string Lookup(const std::string& address) const;

private:
    struct Range {
        uint32_t network;
        uint32_t mask;
        std::string code;
    };
    std::vector<Range> ranges_;
};
