#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "locationdatabase.h"

// IPv4 addresses to two-letter country codes, from the IPFire Location
// database (libloc's file, by default) or from a file in Tor's geoip format
// (Debian's tor-geoipdb, where a user has it): "# comment" lines, then
// "FIRST,LAST,CC" with the addresses as integers.
class GeoIpDatabase {
public:
    GeoIpDatabase();
    ~GeoIpDatabase();

    // Replaces what was loaded with the file's, either format; false with
    // error when it cannot be read or holds no range.
    bool Load(const std::string& path, std::string& error);
    // The code of the range holding address (e.g. "DE"), or "" when none does.
    std::string Lookup(uint32_t address) const;

private:
    struct Range {
        uint32_t first;
        uint32_t last;
        char code[2];
    };
    std::vector<Range> ranges_;                   // sorted by first address, not overlapping
    std::unique_ptr<LocationDatabase> location_;  // instead of ranges_ when loaded
};
