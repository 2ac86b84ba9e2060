#pragma once

#include <string>

#include "data/proxy.h"

// The proxies as a readable table with a header line: address, port,
// country code, SOCKS type, uptime and speed.
std::string FormatProxyTable(const CProxyList& list);
