#pragma once

#include <memory>
#include <string>

#include "countrytable.h"
#include "serviceoptions.h"

class CountryLookup;
class PublicAddress;
class ServedList;

// What harvest mode answers from: the served list, the geoip countries and
// the public address page.
struct HarvestSources {
    ServedList& served;
    const CountryLookup& countries;
    PublicAddress& publicAddress;
};

// Builds the bodies the service answers with, from its options and files
// (stand-in mode) or from the harvest (harvest mode, when harvest is given).
class ServiceAnswers {
public:
    ServiceAnswers(const ServiceOptions& options, const CountryTable& table, int boundPort,
                   const HarvestSources* harvest = nullptr);

    std::string StartAnswer(const std::string& callerAddress) const;
    // The proxy list file as it is now, or "Empty"; in harvest mode the
    // served list's answer for caller, shared rather than copied.
    std::shared_ptr<const std::string> RetrieveAnswer(const std::string& callerAddress = std::string()) const;
    std::string TestTargetAnswer() const;
    // The page and text proxies are tested with: the test-target answer's parts.
    static void SplitTestTarget(const std::string& target, std::string& url, std::string& text);

    static std::string HomePage();
    static std::string SupportPage();
    static std::string ProxyListPage();
    static std::string TestPage();

private:
    const ServiceOptions& options_;
    const CountryTable& table_;
    int port_;
    const HarvestSources* harvest_;

    // Address and country code of the start answer in harvest mode.
    void HarvestCaller(const std::string& callerAddress, std::string& address, std::string& country) const;
};

// The whole content of a file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);
