#include "serviceoptions.h"

#include "service/startrequest.h"

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace {
bool ParseNumber(const std::string& text, int low, int high, int& number)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        return false;
    number = static_cast<int>(value);
    return true;
}

struct NumberOption {
    const char* name;
    int low;
    int high;
    int ServiceOptions::*field;
};
const NumberOption kNumbers[] = {
    {"port", 0, 65535, &ServiceOptions::port},
    {"message-type", 1, 4, &ServiceOptions::messageType},
    {"harvest-interval", 1, 7 * 24 * 3600, &ServiceOptions::harvestIntervalSeconds},
    {"threads", 1, 1000, &ServiceOptions::threads},
    {"timeout", 1, 60, &ServiceOptions::timeoutSeconds},
    {"connect-timeout", 0, 60, &ServiceOptions::connectTimeoutSeconds},
    {"serve-count", 0, 1000000, &ServiceOptions::serveCount},
};

struct TextOption {
    const char* name;
    std::string ServiceOptions::*field;
};
const TextOption kTexts[] = {
    {"port-file", &ServiceOptions::portFile},
    {"proxies", &ServiceOptions::proxiesFile},
    {"country", &ServiceOptions::country},
    {"country-table", &ServiceOptions::countryTable},
    {"message", &ServiceOptions::message},
    {"test-target", &ServiceOptions::testTarget},
    {"start-answer", &ServiceOptions::startAnswerFile},
    {"log", &ServiceOptions::logFile},
    {"public-address-url", &ServiceOptions::publicAddressUrl},
    {"geoip", &ServiceOptions::geoipFile},
    {"countries", &ServiceOptions::countriesFile},
};

// Switches without a value; the key file writes them as true or false.
struct FlagOption {
    const char* name;
    bool ServiceOptions::*field;
    bool value;
};
const FlagOption kFlags[] = {
    {"verify", &ServiceOptions::verify, true},
    {"no-verify", &ServiceOptions::verify, false},
    {"allow-private", &ServiceOptions::allowPrivate, true},
};

const FlagOption* FindFlag(const std::string& name)
{
    for (const FlagOption& flag : kFlags)
        if (name == flag.name)
            return &flag;
    return nullptr;
}

// Sets the valued option name (without "--"); false when name is unknown or
// value malformed.
bool ApplyValue(const std::string& name, const std::string& value, ServiceOptions& options, std::string& error)
{
    for (const NumberOption& option : kNumbers) {
        if (name != option.name)
            continue;
        if (!ParseNumber(value, option.low, option.high, options.*option.field)) {
            error = "bad value for --" + name + ": " + value;
            return false;
        }
        return true;
    }
    // The program refuses any other test target and tests against a page of
    // its own, so a harvest would check proxies against a page the program never uses.
    std::string url, text;
    if (name == "test-target" && !value.empty() && !ParseTestTarget(value, url, text)) {
        error = "--test-target must be 'URL|text|', 8 to 49 bytes with an http or https URL, not \"" + value + "\"";
        return false;
    }
    for (const TextOption& option : kTexts) {
        if (name == option.name) {
            options.*option.field = value;
            return true;
        }
    }
    if (name == "message-caption") {
        options.messageCaption = value;
        options.hasMessageCaption = true;
        return true;
    }
    if (name == "source") {
        options.sources.push_back(value);
        return true;
    }
    error = "unknown option --" + name;
    return false;
}

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

std::string TakeError(GError* gerror)
{
    std::string text = gerror ? gerror->message : "unknown error";
    g_clear_error(&gerror);
    return text;
}
}  // namespace

const char* ServiceUsage()
{
    return "Usage: velmora-service [options]\n"
           "The Velmora service, listening on 127.0.0.1 only. With --source or --config it\n"
           "harvests public SOCKS proxy lists, tests the proxies and serves those that pass;\n"
           "otherwise it stands in for the service in tests and the demo.\n"
           "\n"
           "Endpoints (POST): /velmora/start.php, /velmora/retrieve.php, /tolvane/testurl.txt\n"
           "Pages (GET): /, /page/support.html, /page/proxylist.html, /page/test.html,\n"
           "             /velmora/status (harvest progress, one \"key: value\" a line)\n"
           "\n"
           "Options:\n"
           "  --port N               port to listen on (default 8808; 0 = any free port)\n"
           "  --port-file FILE       write the bound port to FILE once listening\n"
           "  --proxies FILE         retrieve answer: FILE's bytes, read on every request;\n"
           "                         \"Empty\" when FILE is missing or holds no lines\n"
           "  --country CODE         CountryCode of the start answer (e.g. DE)\n"
           "  --country-table FILE   without --country: look the caller's address up in FILE,\n"
           "                         lines \"198.51.100.0/24 DE\", first match wins, # comments\n"
           "  --message TEXT         push this message in the start answer\n"
           "  --message-type N       type of the pushed message, 1 to 4 (default 1)\n"
           "  --message-caption TEXT caption of the message's second button\n"
           "  --test-target 'URL|text|'\n"
           "                         test-target answer, and the page the harvest tests\n"
           "                         proxies with (default: this service's test page and\n"
           "                         \"engine\", reachable only through loopback proxies)\n"
           "  --start-answer FILE    serve FILE's bytes verbatim as the start answer\n"
           "  --log FILE             log to FILE instead of stderr; past 2 MiB it becomes\n"
           "                         FILE.1 and a new FILE begins\n"
           "\n"
           "Harvest mode:\n"
           "  --source URL|FILE      a proxy list (repeatable): http(s) URL or local file with\n"
           "                         ip:port, socks4://ip:port, socks5://ip:port or proxy list\n"
           "                         file lines; blank lines and # comments are skipped, other\n"
           "                         lines counted and skipped\n"
           "  --harvest-interval S   fetch every source again after S seconds (default 1800)\n"
           "  --verify, --no-verify  test every harvested proxy with the availability check\n"
           "                         before serving it (default: on)\n"
           "  --threads N            availability check: jobs at once, five proxies each\n"
           "                         (1 to 1000, default 1000; fewer when the open-file\n"
           "                         limit allows fewer)\n"
           "  --timeout S            availability check: seconds per proxy (1 to 60, default 10)\n"
           "  --connect-timeout S    of which the connection and the SOCKS handshake may take\n"
           "                         (0 to 60, default 5; 0 = the whole timeout)\n"
           "  --serve-count N        proxies in a retrieve answer, the fastest first; each\n"
           "                         later answer brings the next ones (0 = all, default 300)\n"
           "  --allow-private        keep private, loopback and other reserved\n"
           "                         addresses (dropped by default)\n"
           "  --public-address-url URL\n"
           "                         page answering with the caller's public address, asked\n"
           "                         when the program runs on loopback or a private network\n"
           "  --geoip FILE           addresses to countries: the IPFire Location database\n"
           "                         (default /var/lib/location/database.db, else Debian's\n"
           "                         libloc-database) or a file in Tor's geoip format\n"
           "  --countries FILE       the country catalogue countries.nbx (default: beside\n"
           "                         the program, else ../share/velmora)\n"
           "  --config FILE          read these settings from the group [service] of a key\n"
           "                         file (keys without \"--\", sources=a;b;c); the command\n"
           "                         line overrides it and --source adds to its sources\n"
           "  --help                 show this text\n"
           "\n"
           "Proxies are served as they pass; until the first has, the retrieve answer is\n"
           "\"Empty\". A source that failed is fetched again after 1, 2, 4, ... minutes.\n"
           "The start answer holds IPAddress: with the caller's address (harvest mode: only\n"
           "for a public caller, or the address --public-address-url reports). Each request\n"
           "is logged to stderr. SIGTERM or SIGINT stops the service.\n";
}

bool LoadServiceConfig(const std::string& path, ServiceOptions& options, std::string& error)
{
    KeyFile file(g_key_file_new(), g_key_file_free);
    GError* gerror = nullptr;
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, &gerror)) {
        error = path + ": " + TakeError(gerror);
        return false;
    }
    constexpr const char* kGroup = "service";
    gsize count = 0;
    gchar** keys = g_key_file_get_keys(file.get(), kGroup, &count, nullptr);
    const std::unique_ptr<gchar*, decltype(&g_strfreev)> keysOwner(keys, g_strfreev);
    for (gsize i = 0; i < count; ++i) {
        const std::string key = keys[i];
        if (key == "sources") {
            gchar** list = g_key_file_get_string_list(file.get(), kGroup, keys[i], nullptr, nullptr);
            for (gchar** item = list; item && *item; ++item)
                if (**item)
                    options.sources.emplace_back(*item);
            g_strfreev(list);
            continue;
        }
        if (const FlagOption* flag = FindFlag(key); flag && key != "no-verify") {
            const gboolean value = g_key_file_get_boolean(file.get(), kGroup, keys[i], &gerror);
            if (gerror) {
                error = path + ": " + key + ": " + TakeError(gerror);
                return false;
            }
            options.*flag->field = value != FALSE;
            continue;
        }
        gchar* value = g_key_file_get_string(file.get(), kGroup, keys[i], nullptr);
        const std::string text = value ? value : "";
        g_free(value);
        if (key == "source" || key == "config") {
            error = path + ": unknown key " + key;
            return false;
        }
        if (!ApplyValue(key, text, options, error)) {
            error = path + ": " + error;
            return false;
        }
    }
    return true;
}

bool ParseServiceOptions(int argc, char** argv, ServiceOptions& options, bool& showHelp, std::string& error)
{
    showHelp = false;
    struct Argument {
        std::string name;
        std::string value;
        bool hasValue;
    };
    std::vector<Argument> arguments;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--help") {
            showHelp = true;
            return true;
        }
        if (name.rfind("--", 0) != 0) {
            error = "unknown option " + name;
            return false;
        }
        name.erase(0, 2);
        if (!FindFlag(name) && !hasValue) {
            if (i + 1 >= argc) {
                error = "missing value for --" + name;
                return false;
            }
            value = argv[++i];
            hasValue = true;
        }
        arguments.push_back({name, value, hasValue});
    }
    // The key file first, so that the command line overrides it.
    for (const Argument& argument : arguments) {
        if (argument.name == "config") {
            options.configFile = argument.value;
            if (!LoadServiceConfig(argument.value, options, error))
                return false;
        }
    }
    for (const Argument& argument : arguments) {
        if (argument.name == "config")
            continue;
        if (const FlagOption* flag = FindFlag(argument.name)) {
            if (argument.hasValue) {
                error = "--" + argument.name + " takes no value";
                return false;
            }
            options.*flag->field = flag->value;
        } else if (!ApplyValue(argument.name, argument.value, options, error)) {
            return false;
        }
    }
    return true;
}
