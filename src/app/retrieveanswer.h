#pragma once

#include <string>

// The three kinds of answer to the retrieve request.
enum class RetrieveAnswer { ProxyList, NoProxies, Unusable };

// A proxy list is longer than 7 characters and starts with 7 digits or dots;
// "no proxies" is at most 7 characters and contains "Empty"; anything else
// (the empty answer of a failed request too) means the service is unusable.
RetrieveAnswer ClassifyRetrieveAnswer(const std::string& answer);

// Writes the answer byte for byte to path (created or truncated); false when
// the file cannot be created or written completely, and then error (when
// given) holds the system's reason.
bool WriteAnswerFile(const std::string& path, const std::string& answer, std::string* error = nullptr);

constexpr const char* kProxyTempFileName = "proxy.tmp";
