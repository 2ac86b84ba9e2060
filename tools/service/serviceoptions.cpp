#include "serviceoptions.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {
bool ParseNumber(const std::string& text, int& number)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 65535)
        return false;
    number = static_cast<int>(value);
    return true;
}
}  // namespace

const char* ServiceUsage()
{
    return "Usage: velmora-service [options]\n"
           "Stand-in for the Velmora web service, listening on 127.0.0.1 only.\n"
           "\n"
           "Endpoints (POST): /velmora/start.php, /velmora/retrieve.php, /tolvane/testurl.txt\n"
           "Pages (GET): /, /page/support.html, /page/proxylist.html, /page/test.html\n"
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
           "                         test-target answer (default: this service's test page\n"
           "                         and \"engine\")\n"
           "  --start-answer FILE    serve FILE's bytes verbatim as the start answer\n"
           "  --help                 show this text\n"
           "\n"
           "The start answer holds IPAddress: with the caller's address. Each request is\n"
           "logged to stderr. SIGTERM or SIGINT stops the service.\n";
}

bool ParseServiceOptions(int argc, char** argv, ServiceOptions& options, bool& showHelp,
                         std::string& error)
{
    showHelp = false;
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
        static const char* const kValued[] = {"--port", "--port-file", "--proxies", "--country",
                                              "--country-table", "--message", "--message-type",
                                              "--message-caption", "--test-target", "--start-answer"};
        if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
            error = "unknown option " + name;
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "missing value for " + name;
                return false;
            }
            value = argv[++i];
        }
        if (name == "--port" || name == "--message-type") {
            int number = 0;
            if (!ParseNumber(value, number) || (name == "--message-type" && (number < 1 || number > 4))) {
                error = "bad value for " + name + ": " + value;
                return false;
            }
            if (name == "--port")
                options.port = number;
            else
                options.messageType = number;
        } else if (name == "--port-file") {
            options.portFile = value;
        } else if (name == "--proxies") {
            options.proxiesFile = value;
        } else if (name == "--country") {
            options.country = value;
        } else if (name == "--country-table") {
            options.countryTable = value;
        } else if (name == "--message") {
            options.message = value;
        } else if (name == "--message-caption") {
            options.messageCaption = value;
            options.hasMessageCaption = true;
        } else if (name == "--test-target") {
            options.testTarget = value;
        } else {
            options.startAnswerFile = value;
        }
    }
    return true;
}
