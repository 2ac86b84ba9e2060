#pragma once

#include <string>

#include "data/proxy.h"

// Reads the proxy list file at path ("-" is standard input) into list. Unlike
// the program's own reader, which skips damaged lines, every line must be a
// proxy; false with a one-line error naming the first bad line otherwise.
// Duplicates are dropped, the first one staying.
bool ReadCheckInput(const std::string& path, CProxyList& list, std::string& error);
