#pragma once

#include <cstdint>
#include <string>
#include <vector>

// IPv4 ranges to two-letter country codes, read from Tor's geoip file
// (Debian's tor-geoipdb, converted from the IPFire Location database):
// "# comment" lines, then "FIRST,LAST,CC" with the addresses as integers.
class GeoIpDatabase {
public:
    // Replaces the ranges with the file's; false with error when it cannot be
    // read or holds no range.
    bool Load(const std::string& path, std::string& error);
    // The code of the range holding address (e.g. "DE"), or "" when none does.
    std::string Lookup(uint32_t address) const;
    size_t RangeCount() const { return ranges_.size(); }

private:
    struct Range {
        uint32_t first;
        uint32_t last;
        char code[2];
    };
    std::vector<Range> ranges_;  // sorted by first address, not overlapping
};
