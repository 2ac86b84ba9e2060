#pragma once

#include <string>

// Command-line options of velmora-service.
struct ServiceOptions {
    int port = 8808;
    std::string portFile;        // where the bound port is written once listening
    std::string proxiesFile;     // body of the retrieve answer, read on every request
    std::string country;         // "CountryCode:" of the start answer
    std::string countryTable;    // CIDR-to-code table, used when country is empty
    std::string message;         // pushed message text, none when empty
    int messageType = 1;
    std::string messageCaption;  // caption of the message's second button
    bool hasMessageCaption = false;
    std::string testTarget;      // "URL|text|"; empty = this service's own test page
    std::string startAnswerFile; // serve this file verbatim as the start answer
};

// Parses argv. Returns false with a message in error on a bad command line;
// sets showHelp for --help.
bool ParseServiceOptions(int argc, char** argv, ServiceOptions& options, bool& showHelp,
                         std::string& error);
const char* ServiceUsage();
