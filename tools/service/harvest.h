#pragma once

#include <string>
#include <vector>

#include "data/proxy.h"
#include "sourcefetch.h"

class CountryLookup;

// Figures of one harvest, for the log and the status page.
struct HarvestCounts {
    int sources = 0;
    int failedSources = 0;
    int skippedLines = 0;  // lines that name no proxy
    int duplicates = 0;    // the same address and port again, in a source or across sources
    int reserved = 0;      // reserved addresses dropped
    int harvested = 0;     // proxies left to test
};

// Merges what the sources gave, in source order: every line format public
// lists use is read, the first occurrence of an address and port wins,
// reserved addresses are dropped unless allowPrivate, and each proxy's
// country becomes its catalogue index (-1 when unknown).
CProxyList MergeSources(const std::vector<SourceText>& sources, bool allowPrivate, const CountryLookup& countries,
                        HarvestCounts& counts);
