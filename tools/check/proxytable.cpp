#include "proxytable.h"

#include <cstdio>

#include "data/countrycatalogue.h"

const char* ProxyTypeName(int type)
{
    static const char* const kNames[] = {"Socks", "Socks4", "Socks5", "Socks4/5"};
    return type >= 0 && type < 4 ? kNames[type] : "?";
}

namespace {
std::string CountryText(int country)
{
    if (const CCountryEntry* entry = GetCountryCatalogue().EntryAt(country))
        return entry->code;
    return country < 0 ? "-" : std::to_string(country);
}
}  // namespace

std::string FormatProxyTable(const CProxyList& list)
{
    char line[128];
    std::snprintf(line, sizeof line, "%-15s  %5s  %-7s  %-8s  %6s  %9s\n", "Address", "Port", "Country", "Type",
                  "Uptime", "Speed");
    std::string table = line;
    for (const CProxy& p : list) {
        const std::string speed = p.speed == kUnmeasuredSpeed ? "-" : std::to_string(p.speed) + " ms";
        std::snprintf(line, sizeof line, "%-15s  %5d  %-7s  %-8s  %4d/5  %9s\n", p.ip, p.port,
                      CountryText(p.country).c_str(), ProxyTypeName(p.type), p.uptime, speed.c_str());
        table += line;
    }
    return table;
}
