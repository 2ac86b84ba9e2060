#pragma once

#include <string>

#include "data/proxy.h"

// Plain, slow versions of the list algorithms, written step by step as the
// behaviour is defined, to check the fast library versions against.

// Phase 1: stable selection sort by speed, moving the candidate to position
// i. Phase 2: one walk of the speed-ordered entries per uptime value or
// catalogue index, then the entries outside those values in speed order.
void ReferenceSortProxyList(CProxyList& list, SortKey key, bool normalOrder, int countryCount);

// Proxy file reading with a FindProxy walk for every record.
bool ReferenceReadProxyFile(CProxyList& list, const std::string& path, bool replace);
