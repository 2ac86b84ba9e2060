#pragma once

#include <atomic>
#include <string>
#include <vector>

// Limits of one source fetch. The defaults are those of the program's own
// requests to the service (size cap, connect time, no-data abort), plus a
// bound on the whole transfer so that a source trickling bytes forever
// cannot hold up a harvest.
struct SourceLimits {
    SourceLimits();
    size_t maxBytes;
    long connectTimeoutSeconds;
    long lowSpeedTimeSeconds;  // abort when nothing arrives for this long
    long totalTimeoutSeconds;
    // A redirect may lead only to an address the harvest keeps; the
    // reserved ranges too when the harvest keeps them (--allow-private).
    bool redirectsToReserved = false;
};

// What one source gave.
struct SourceText {
    std::string source;
    bool ok = false;
    std::string error;  // why it failed, when !ok
    std::string text;
};

// Fetches every source side by side: http:// and https:// URLs with libcurl
// (never through a proxy; redirects to http or https only, and to a reserved
// address only as limits allow), anything else as a local file (a file:// prefix is
// taken off). A source that fails, is larger than maxBytes or too slow is
// reported as failed and never stops the others. stop, when set, ends the
// fetch early (unfinished sources fail).
std::vector<SourceText> FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits,
                                     const std::atomic<bool>* stop = nullptr);

// Whether source is fetched over the network (http or https).
bool IsUrlSource(const std::string& source);
