#include "checkoptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kCheckUsage = "Usage: velmora-check [OPTION]... FILE\n"
                                "Tests the SOCKS proxies listed in FILE (\"-\" reads standard input) and writes\n"
                                "those that passed, fastest first.\n"
                                "\n"
                                "FILE holds one proxy a line: a proxy list file line (address, port, country,\n"
                                "type, uptime, speed, tab-separated), ip:port, socks4://ip:port or\n"
                                "socks5://ip:port; blank lines and # comments are allowed. Other lines are\n"
                                "skipped and reported on standard error. Every proxy is tested through SOCKS4\n"
                                "and SOCKS5; its type says which passed (Socks4, Socks5 or Socks4/5).\n"
                                "\n"
                                "  --availability  only check that each proxy relays the test page\n"
                                "                  (default: the speed test, five fetches per proxy)\n"
                                "  --threads N     jobs at once, 1 to 1000 (a speed test job is one proxy,\n"
                                "                  an availability job five)\n"
                                "  --timeout S     seconds allowed per fetch, 1 to 60\n"
                                "  --url URL       test page fetched through each proxy\n"
                                "  --expect TEXT   text a good answer contains (letter case ignored)\n"
                                "  --format F      list (the proxy list file format, default), plain\n"
                                "                  (ip:port lines) or json\n"
                                "  --output FILE   write the passed proxies to FILE instead of standard output\n"
                                "  --table         print a readable table of the passed proxies on standard output\n"
                                "  --help          show this help\n"
                                "\n"
                                "Defaults come from \"setting.nbx\" in the working directory when it exists.\n"
                                "Ctrl+C stops the test and keeps the proxies that passed so far.\n"
                                "Exit status: 0 done (also when no proxy passed), 1 output not written,\n"
                                "2 bad input (no file, no proxy in it, bad options), 130 canceled.\n";

namespace {
constexpr size_t kMaxSettingText = 255;  // the test section's text fields

bool ParseRange(const char* text, int low, int high, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno || end == text || *end || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}
}  // namespace

bool ParseCheckOptions(int argc, char** argv, CheckOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* text = nullptr;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        } else if (arg == "--availability") {
            options.availability = true;
        } else if (arg == "--table") {
            options.table = true;
        } else if (arg == "--threads" || arg == "--timeout") {
            if (!value(text))
                return false;
            const bool threads = arg == "--threads";
            const int high = threads ? kMaxCheckThreads : kMaxCheckTimeoutSeconds;
            if (!ParseRange(text, 1, high, threads ? options.threads : options.timeoutSeconds)) {
                error = arg + " must be a whole number from 1 to " + std::to_string(high) + ", not \"" + text + "\"";
                return false;
            }
        } else if (arg == "--format") {
            if (!value(text))
                return false;
            if (!ParseOutputFormat(text, options.format)) {
                error = std::string("--format must be list, plain or json, not \"") + text + "\"";
                return false;
            }
        } else if (arg == "--url" || arg == "--expect") {
            if (!value(text))
                return false;
            if (!*text || std::strlen(text) > kMaxSettingText) {
                error = arg + " must be 1 to 255 characters long";
                return false;
            }
            (arg == "--url" ? options.url : options.expected) = text;
        } else if (arg == "--output") {
            if (!value(text))
                return false;
            options.output = text;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else if (!options.input.empty()) {
            error = "only one proxy list file can be given";
            return false;
        } else {
            options.input = arg;
        }
    }
    if (options.input.empty()) {
        error = "no proxy list file given (see --help)";
        return false;
    }
    return true;
}
