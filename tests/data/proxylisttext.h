#pragma once

#include <string>

#include "data/proxy.h"

// All six fields of every entry, one line each, so that a failed comparison
// of two lists shows where they differ.
std::string ListText(const CProxyList& list);
