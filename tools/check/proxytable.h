#pragma once

#include <string>

#include "data/proxy.h"

// The proxies as a readable table with a header line: address, port,
// country code, SOCKS type, uptime and speed.
std::string FormatProxyTable(const CProxyList& list);

// The name of a SOCKS type as the table shows it: "Socks", "Socks4", "Socks5",
// "Socks4/5", or "?" outside 0 to 3.
const char* ProxyTypeName(int type);
