#pragma once

#include <string>
#include <vector>

// Command-line options of velmora-service.
struct ServiceOptions {
    int port = 8808;
    std::string portFile;      // where the bound port is written once listening
    std::string proxiesFile;   // body of the retrieve answer, read on every request
    std::string country;       // "CountryCode:" of the start answer
    std::string countryTable;  // CIDR-to-code table, used when country is empty
    std::string message;       // pushed message text, none when empty
    int messageType = 1;
    std::string messageCaption;  // caption of the message's second button
    bool hasMessageCaption = false;
    std::string testTarget;       // "URL|text|"; empty = this service's own test page
    std::string startAnswerFile;  // serve this file verbatim as the start answer
    std::string logFile;          // log here, kept under a size; empty = stderr as it is

    // Harvest mode: on with any source or a key file.
    std::vector<std::string> sources;  // http(s) URLs and local files
    int harvestIntervalSeconds = 1800;
    bool verify = true;             // test every harvested proxy before serving it
    int threads = 1000;             // availability check: jobs at once (five proxies each)
    int timeoutSeconds = 10;        // availability check: time allowed per proxy
    int connectTimeoutSeconds = 5;  // of which the connect phase; 0 = no bound of its own
    int serveCount = 300;           // proxies per retrieve answer, fastest first; 0 = all
    bool allowPrivate = false;      // keep reserved addresses
    std::string publicAddressUrl;   // page answering with the caller's address
    std::string geoipFile;          // addresses to country codes; "" = DefaultLocationDatabasePath()
    std::string countriesFile;      // countries.nbx; empty = beside the program or its share folder
    std::string configFile;

    bool Harvesting() const { return !sources.empty() || !configFile.empty(); }
};

// Parses argv, reading the key file of --config first so that the command
// line overrides it (--source adds to the key file's sources). Returns false
// with a message in error on a bad command line or key file; sets showHelp
// for --help.
bool ParseServiceOptions(int argc, char** argv, ServiceOptions& options, bool& showHelp, std::string& error);
// Applies the group [service] of a GLib key file; false with error when the
// file cannot be read or a value is malformed.
bool LoadServiceConfig(const std::string& path, ServiceOptions& options, std::string& error);
const char* ServiceUsage();
