#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "data/proxy.h"
#include "sourcefetch.h"

class CountryLookup;

// Figures of one harvest, for the log and the status page.
struct HarvestCounts {
    int sources = 0;
    int failedSources = 0;
    int skippedLines = 0;   // lines that name no proxy
    int duplicates = 0;     // the same address and port again, in a source or across sources
    int reserved = 0;       // reserved addresses dropped
    int cappedSources = 0;  // sources cut off at the cap per source
    int overRoundCap = 0;   // proxies left out by the cap per round
    int harvested = 0;      // proxies left to test
};

// Merges what the sources of one round give, source by source as they end:
// the first occurrence of an address and port wins, reserved addresses are
// dropped unless allowPrivate, each proxy's country becomes its catalogue
// index (-1 when unknown), and no more than maxProxies are taken in all.
class HarvestMerge {
public:
    HarvestMerge(bool allowPrivate, const CountryLookup& countries, size_t maxProxies);
    // The proxies of source not seen before in this round.
    CProxyList Add(const SourceResult& source);
    const HarvestCounts& Counts() const { return counts_; }

private:
    const bool allowPrivate_;
    const CountryLookup& countries_;
    const size_t maxProxies_;
    std::unordered_set<uint64_t> seen_;
    HarvestCounts counts_;
};

// The proxies a harvest would take from every source, merged in source order.
CProxyList MergeSources(const std::vector<SourceResult>& sources, bool allowPrivate, const CountryLookup& countries,
                        HarvestCounts& counts, size_t maxProxies = 250000);
