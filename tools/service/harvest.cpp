#include "harvest.h"

#include <cstring>
#include <unordered_set>

#include "addressfilter.h"
#include "checkinput.h"
#include "countrylookup.h"

namespace {
// Address and port in one number: the identity of a proxy.
uint64_t Key(uint32_t address, int port)
{
    return uint64_t(address) << 16 | static_cast<uint16_t>(port);
}
}  // namespace

CProxyList MergeSources(const std::vector<SourceText>& sources, bool allowPrivate, const CountryLookup& countries,
                        HarvestCounts& counts)
{
    CProxyList merged;
    std::unordered_set<uint64_t> seen;
    for (const SourceText& source : sources) {
        ++counts.sources;
        if (!source.ok) {
            ++counts.failedSources;
            continue;
        }
        CheckInput input = ParseCheckInput(source.text);
        counts.skippedLines += input.skippedLines;
        for (CProxy& proxy : input.proxies) {
            uint32_t address = 0;
            if (!ParseIpv4(proxy.ip, address)) {  // e.g. leading zeros, which are ambiguous
                ++counts.skippedLines;
                continue;
            }
            if (!seen.insert(Key(address, proxy.port)).second) {
                ++counts.duplicates;
                continue;
            }
            if (!allowPrivate && IsSpecialPurposeAddress(address)) {
                ++counts.reserved;
                continue;
            }
            proxy.country = countries.IndexOf(address);
            merged.push_back(proxy);
        }
    }
    counts.harvested = static_cast<int>(merged.size());
    return merged;
}
