#pragma once

#include <string>

#include "data/proxy.h"

// Proxy list files: one proxy per line, six tab-separated fields in CProxy
// field order (ip, port, country, type, uptime, speed).

// Reads the file into list, emptying it first when replace is true. Lines for
// a proxy already in the list (or earlier in the file) are dropped, as are
// lines with port 0, type above 3, an address over 15 characters, or not
// exactly six fields. A single-field line (an empty one too) ends the reading.
// False, with the list untouched, when the file cannot be opened.
bool ReadProxyFile(CProxyList& list, const std::string& path, bool replace);

// Writes list in the same format with CR LF line ends; false when the file
// cannot be created or a write fails.
bool WriteProxyFile(const CProxyList& list, const std::string& path);
