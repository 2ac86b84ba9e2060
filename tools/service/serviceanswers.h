#pragma once

#include <string>

#include "countrytable.h"
#include "serviceoptions.h"

// Builds the bodies the service answers with, from its options and files.
class ServiceAnswers {
public:
    ServiceAnswers(const ServiceOptions& options, const CountryTable& table, int boundPort);

    std::string StartAnswer(const std::string& callerAddress) const;
    // The proxy list file as it is now, or "Empty".
    std::string RetrieveAnswer() const;
    std::string TestTargetAnswer() const;

    static std::string HomePage();
    static std::string SupportPage();
    static std::string ProxyListPage();
    static std::string TestPage();

private:
    const ServiceOptions& options;
    const CountryTable& table;
    int port;
};

// The whole content of a file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);
