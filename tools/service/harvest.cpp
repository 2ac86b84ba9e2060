#include "harvest.h"

#include "addressfilter.h"
#include "countrylookup.h"

namespace {
// Address and port in one number: the identity of a proxy.
uint64_t Key(uint32_t address, int port)
{
    return uint64_t(address) << 16 | static_cast<uint16_t>(port);
}
}  // namespace

HarvestMerge::HarvestMerge(bool allowPrivate, const CountryLookup& countries, size_t maxProxies)
    : allowPrivate_(allowPrivate), countries_(countries), maxProxies_(maxProxies)
{}

CProxyList HarvestMerge::Add(const SourceResult& source)
{
    CProxyList fresh;
    ++counts_.sources;
    if (!source.ok) {
        ++counts_.failedSources;
        return fresh;
    }
    counts_.skippedLines += source.skippedLines;
    counts_.cappedSources += source.capped ? 1 : 0;
    for (const CProxy& listed : source.proxies) {
        uint32_t address = 0;
        if (!ParseIpv4(listed.ip, address)) {  // e.g. leading zeros, which are ambiguous
            ++counts_.skippedLines;
            continue;
        }
        if (seen_.size() >= maxProxies_) {
            ++counts_.overRoundCap;
            continue;
        }
        if (!seen_.insert(Key(address, listed.port)).second) {
            ++counts_.duplicates;
            continue;
        }
        if (!allowPrivate_ && IsSpecialPurposeAddress(address)) {
            ++counts_.reserved;
            continue;
        }
        fresh.push_back(listed);
        fresh.back().country = countries_.IndexOf(address);
    }
    counts_.harvested += static_cast<int>(fresh.size());
    return fresh;
}

CProxyList MergeSources(const std::vector<SourceResult>& sources, bool allowPrivate, const CountryLookup& countries,
                        HarvestCounts& counts, size_t maxProxies)
{
    HarvestMerge merge(allowPrivate, countries, maxProxies);
    CProxyList merged;
    for (const SourceResult& source : sources)
        merged.splice(merged.end(), merge.Add(source));
    counts = merge.Counts();
    return merged;
}
