#pragma once

#include <string>

#include "data/outcome.h"

// The three kinds of answer to the retrieve request.
enum class RetrieveAnswer { ProxyList, NoProxies, Unusable };

// What Get Proxy learns from the service: the retrieve answer; with a proxy
// list the service's test target (the service verified its proxies with that
// page); with none the reason the service's status page gives.
struct Retrieval {
    std::string answer;  // empty when the request failed
    RetrieveAnswer kind = RetrieveAnswer::Unusable;
    std::string targetUrl;
    std::string targetExpected;
    std::string noProxyReason;
};

// Posts the retrieve request ("OperationType=4") and what its answer calls
// for. Blocks for the requests' length: run it off the GUI thread.
Retrieval RetrieveProxies();

// A proxy list is longer than 7 characters and starts with 7 digits or dots;
// "no proxies" is at most 7 characters and contains "Empty"; anything else
// (the empty answer of a failed request too) means the service is unusable.
RetrieveAnswer ClassifyRetrieveAnswer(const std::string& answer);

// Writes the answer byte for byte to path (created or replaced); on failure,
// when the file cannot be created or written completely, the problem is the
// system's reason.
Outcome WriteAnswerFile(const std::string& path, const std::string& answer);

constexpr const char* kProxyTempFileName = "proxy.tmp";
