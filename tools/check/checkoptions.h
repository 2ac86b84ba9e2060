#pragma once

#include <string>

#include "checkoutput.h"

constexpr int kMaxCheckThreads = 1000;
constexpr int kMaxCheckTimeoutSeconds = 60;

// Command line of velmora-check. Unset values (-1, empty) take the defaults
// of the settings file.
struct CheckOptions {
    bool availability = false;
    bool table = false;
    OutputFormat format = OutputFormat::List;
    bool help = false;
    int threads = -1;
    int timeoutSeconds = -1;
    std::string url;
    std::string expected;
    std::string output;  // empty: standard output
    std::string input;   // "-" is standard input
};

// Fills options from the arguments; false with a one-line error otherwise.
bool ParseCheckOptions(int argc, char** argv, CheckOptions& options, std::string& error);

extern const char* const kCheckUsage;
