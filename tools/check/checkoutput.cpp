#include "checkoutput.h"

#include <cstdio>

#include "data/countrycatalogue.h"
#include "proxytable.h"

namespace {
std::string JsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JsonObject(const CProxy& proxy)
{
    const CCountryEntry* country = GetCountryCatalogue().EntryAt(proxy.country);
    return std::string("{\"address\": ") + JsonString(proxy.ip) + ", \"port\": " + std::to_string(proxy.port)
           + ", \"country\": " + (country ? JsonString(country->code) : "null")
           + ", \"type\": " + JsonString(ProxyTypeName(proxy.type)) + ", \"uptime\": " + std::to_string(proxy.uptime)
           + ", \"speedMs\": " + (proxy.speed == kUnmeasuredSpeed ? "null" : std::to_string(proxy.speed)) + "}";
}
}  // namespace

bool ParseOutputFormat(const std::string& name, OutputFormat& format)
{
    if (name == "list")
        format = OutputFormat::List;
    else if (name == "plain")
        format = OutputFormat::Plain;
    else if (name == "json")
        format = OutputFormat::Json;
    else
        return false;
    return true;
}

std::string FormatProxies(const CProxyList& list, OutputFormat format)
{
    std::string text;
    for (const CProxy& p : list) {
        const std::string address =
            std::string(p.ip) + (format == OutputFormat::List ? "\t" : ":") + std::to_string(p.port);
        if (format == OutputFormat::List) {
            text += address;
            for (int value : {p.country, p.type, p.uptime, p.speed})
                text += "\t" + std::to_string(value);
            text += "\r\n";
        } else if (format == OutputFormat::Plain) {
            text += address + "\n";
        } else {
            text += (text.empty() ? "[\n  " : ",\n  ") + JsonObject(p);
        }
    }
    if (format == OutputFormat::Json)
        text += text.empty() ? "[]\n" : "\n]\n";
    return text;
}

bool WriteOutput(const std::string& text, const std::string& path)
{
    FILE* file = path.empty() ? stdout : std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool flushed = path.empty() ? std::fflush(file) == 0 : std::fclose(file) == 0;
    return written && flushed;
}
