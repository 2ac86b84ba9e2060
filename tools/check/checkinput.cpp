#include "checkinput.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <unordered_set>

namespace {
constexpr size_t kMaxListLine = 255;

// Whitespace at both ends does not matter in a hand-made or downloaded list.
std::string_view Trimmed(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// A decimal integer from low to high, with an optional leading minus sign.
bool ReadInteger(std::string_view text, long low, long high, int& value)
{
    const size_t digitsFrom = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digitsFrom || text.size() > 11)
        return false;
    for (size_t i = digitsFrom; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    const long number = std::strtol(std::string(text).c_str(), nullptr, 10);
    if (number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool ReadAddress(std::string_view text, CProxy& proxy)
{
    if (text.size() > 15)
        return false;
    const std::string address(text);
    if (!IsValidProxyAddress(address.c_str()))
        return false;
    proxy.SetIp(address.c_str());
    return true;
}

// "ip:port"
bool ReadHostPort(std::string_view text, CProxy& proxy)
{
    const size_t colon = text.rfind(':');
    return colon != std::string_view::npos && ReadAddress(text.substr(0, colon), proxy)
           && ReadInteger(text.substr(colon + 1), 1, 65535, proxy.port);
}

// The six fields of a proxy list file line, within the ranges the program writes.
bool ReadListLine(std::string_view line, CProxy& proxy)
{
    if (line.size() > kMaxListLine)
        return false;
    std::string_view fields[6];
    size_t count = 0;
    for (size_t from = 0;; ++count) {
        const size_t tab = line.find('\t', from);
        if (count == 6)
            return false;
        fields[count] = line.substr(from, tab == std::string_view::npos ? tab : tab - from);
        if (tab == std::string_view::npos)
            break;
        from = tab + 1;
    }
    return count == 5 && ReadAddress(fields[0], proxy) && ReadInteger(fields[1], 1, 65535, proxy.port)
           && ReadInteger(fields[2], -1, 65535, proxy.country) && ReadInteger(fields[3], 0, 3, proxy.type)
           && ReadInteger(fields[4], 0, 5, proxy.uptime) && ReadInteger(fields[5], 0, 2147483647, proxy.speed);
}

bool ReadProxyLine(std::string_view rawLine, CProxy& proxy)
{
    if (rawLine.find('\t') != std::string_view::npos) {
        if (!rawLine.empty() && rawLine.back() == '\r')
            rawLine.remove_suffix(1);
        return ReadListLine(rawLine, proxy);
    }
    std::string_view line = Trimmed(rawLine);
    static const struct {
        std::string_view prefix;
        int type;
    } kSchemes[] = {{"socks4://", kTypeSocks4}, {"socks5://", kTypeSocks5}};
    for (const auto& scheme : kSchemes) {
        if (line.substr(0, scheme.prefix.size()) == scheme.prefix) {
            proxy.type = scheme.type;
            line.remove_prefix(scheme.prefix.size());
            break;
        }
    }
    return ReadHostPort(line, proxy);
}

std::string Key(const CProxy& proxy)
{
    return std::string(proxy.ip) + ":" + std::to_string(proxy.port);
}
}  // namespace

CheckLine ReadCheckLine(std::string_view line, CProxy& proxy)
{
    const std::string_view content = Trimmed(line);
    if (content.empty() || content[0] == '#')
        return CheckLine::Blank;
    return ReadProxyLine(line, proxy) ? CheckLine::Proxy : CheckLine::Other;
}

CheckInput ParseCheckInput(const std::string& text)
{
    CheckInput input;
    std::unordered_set<std::string> seen;
    std::string_view rest(text);
    // A byte order mark from an editor is no part of the first line.
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);
    for (int number = 1; !rest.empty(); ++number) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        CProxy proxy;
        const CheckLine kind = ReadCheckLine(line, proxy);
        if (kind == CheckLine::Blank)
            continue;
        if (kind == CheckLine::Other) {
            if (input.skippedAt.size() < CheckInput::kSkippedShown)
                input.skippedAt.push_back(number);
            ++input.skippedLines;
            continue;
        }
        if (seen.insert(Key(proxy)).second)
            input.proxies.push_back(proxy);
    }
    return input;
}

bool ReadInputText(const std::string& path, std::string& text, std::string& error)
{
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            error = "cannot read standard input";
            return false;
        }
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}
