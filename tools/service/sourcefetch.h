#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "data/proxy.h"

// Limits of one source fetch. The defaults are those of the program's own
// requests to the service (size cap, connect time, no-data abort), plus a
// bound on the whole transfer so that a source trickling bytes forever
// cannot hold up a harvest, and a cap on the proxies taken from one source.
struct SourceLimits {
    SourceLimits();
    size_t maxBytes;
    long connectTimeoutSeconds;
    long lowSpeedTimeSeconds;  // abort when nothing arrives for this long
    long totalTimeoutSeconds;
    size_t maxProxies = 100000;  // the rest of a larger source is not read
    // A redirect may lead only to an address the harvest keeps; the
    // reserved ranges too when the harvest keeps them (--allow-private).
    bool redirectsToReserved = false;
};

// What one source gave: its proxies in source order (duplicates still in),
// read line by line as the bytes came, so a source costs the proxies it
// names rather than its text.
struct SourceResult {
    std::string source;
    bool ok = false;
    std::string error;  // why it failed, when !ok
    CProxyList proxies;
    int skippedLines = 0;  // lines that name no proxy
    bool capped = false;   // it named more than maxProxies; the first ones were taken
};

// Called once for every source, with its place in the list, as soon as that
// source has ended.
using SourceDone = std::function<void(size_t index, SourceResult&)>;

// Fetches every source side by side: http:// and https:// URLs with libcurl
// (never through a proxy; redirects to http or https only, and to a reserved
// address only as limits allow), anything else as a local regular file (a file://
// prefix is taken off; a FIFO, device or folder is refused). Each source has
// its own deadline: a source that fails, is larger than maxBytes or too slow
// is reported as failed and never holds back the others. stop, when set,
// ends the fetch early (unfinished sources fail).
void FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits, const SourceDone& done,
                  const std::atomic<bool>* stop = nullptr);
// The same, gathering the results in the order of sources.
std::vector<SourceResult> FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits,
                                       const std::atomic<bool>* stop = nullptr);

// Whether source is fetched over the network (http or https).
bool IsUrlSource(const std::string& source);
