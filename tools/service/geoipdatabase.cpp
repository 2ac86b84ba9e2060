#include "geoipdatabase.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {
// Reads a decimal number ending at stop; false when there is none or it is
// larger than 32 bits.
bool ReadNumber(const char*& at, const char* end, char stop, uint32_t& value)
{
    uint64_t number = 0;
    const char* start = at;
    while (at < end && *at >= '0' && *at <= '9' && number <= 0xFFFFFFFFu)
        number = number * 10 + static_cast<uint64_t>(*at++ - '0');
    if (at == start || at >= end || *at != stop || number > 0xFFFFFFFFu)
        return false;
    ++at;
    value = static_cast<uint32_t>(number);
    return true;
}
}  // namespace

GeoIpDatabase::GeoIpDatabase() = default;

GeoIpDatabase::~GeoIpDatabase() = default;

bool GeoIpDatabase::Load(const std::string& path, std::string& error)
{
    if (LocationDatabase::IsLocationDatabase(path)) {
        auto location = std::make_unique<LocationDatabase>();
        if (!location->Open(path, error))
            return false;
        location_ = std::move(location);
        ranges_.clear();
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Range> ranges;
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
        if (!lineEnd)
            lineEnd = end;
        Range range{};
        const char* field = at;
        if (*at != '#' && ReadNumber(field, lineEnd, ',', range.first) && ReadNumber(field, lineEnd, ',', range.last)
            && lineEnd - field >= 2 && range.first <= range.last) {
            range.code[0] = field[0];
            range.code[1] = field[1];
            ranges.push_back(range);
        }
        at = lineEnd + 1;
    }
    if (ranges.empty()) {
        error = path + " holds no address range";
        return false;
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    ranges_ = std::move(ranges);
    location_.reset();
    return true;
}

std::string GeoIpDatabase::Lookup(uint32_t address) const
{
    if (location_)
        return location_->Lookup(address);
    // The last range starting at or before address, if it reaches it.
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), address,
                                  [](uint32_t value, const Range& range) { return value < range.first; });
    if (after == ranges_.begin())
        return "";
    const Range& range = *std::prev(after);
    if (address > range.last)
        return "";
    return std::string(range.code, 2);
}
