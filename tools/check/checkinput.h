#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/proxy.h"

// What velmora-check read from its input.
struct CheckInput {
    CProxyList proxies;          // usable proxies in input order, duplicates dropped
    int skippedLines = 0;        // lines that are no proxy
    std::vector<int> skippedAt;  // line numbers of the first few of them
    static constexpr size_t kSkippedShown = 5;
};

// Reads the proxies of text, one per line, in any of these forms:
//   the proxy list file line: ip, port, country, type, uptime, speed, tab-separated
//   ip:port
//   socks4://ip:port or socks5://ip:port (the type becomes 1 or 2)
// with blank lines and "#" comments anywhere. A line that is none of these,
// or names no valid IPv4 address and port, is skipped and counted.
CheckInput ParseCheckInput(const std::string& text);

// What one line of such a list is: nothing (blank or a comment), a proxy
// (read into proxy), or something else.
enum class CheckLine { Blank, Proxy, Other };
CheckLine ReadCheckLine(std::string_view line, CProxy& proxy);

// Reads the file at path ("-" is standard input) into text; false with a
// one-line error when it cannot be read.
bool ReadInputText(const std::string& path, std::string& text, std::string& error);
