// velmora-check: tests the proxies of a proxy list file from the command line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "checkdefaults.h"
#include "checkinput.h"
#include "checkoptions.h"
#include "checkrun.h"
#include "data/proxyfile.h"
#include "proxytable.h"
#include "tempfile.h"
#include "settings/settingtestitem.h"

namespace {
constexpr int kExitDone = 0, kExitOutput = 1, kExitBadInput = 2, kExitCanceled = 130;

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "velmora-check: %s\n", message.c_str());
    return code;
}

// WriteProxyFile takes a path; standard output gets the bytes of a temporary file.
bool WriteToStandardOutput(const CProxyList& list)
{
    const std::string path = MakeTemporaryFile();
    if (path.empty())
        return false;
    const bool written = WriteProxyFile(list, path);
    if (written) {
        std::ifstream in(path, std::ios::binary);
        std::cout << in.rdbuf();
        std::cout.flush();
    }
    unlink(path.c_str());
    return written && std::cout.good();
}
}  // namespace

int main(int argc, char** argv)
{
    CheckOptions options;
    std::string error;
    if (!ParseCheckOptions(argc, argv, options, error))
        return Fail(kExitBadInput, error);
    if (options.help) {
        std::fputs(kCheckUsage, stdout);
        return kExitDone;
    }

    CSettingTestItem settings;
    LoadTestDefaults(settings);
    if (options.threads > 0)
        settings.threadCount = options.threads;
    if (options.timeoutSeconds > 0)
        settings.timeoutSeconds = options.timeoutSeconds;
    if (!options.url.empty())
        std::snprintf(settings.testUrl, sizeof settings.testUrl, "%s", options.url.c_str());
    if (!options.expected.empty())
        std::snprintf(settings.correctValue, sizeof settings.correctValue, "%s", options.expected.c_str());

    CProxyList list;
    if (!ReadCheckInput(options.input, list, error))
        return Fail(kExitBadInput, error);

    const bool completed = RunCheck(list, settings, options.availability);

    if (!options.output.empty() && !WriteProxyFile(list, options.output))
        return Fail(kExitOutput, "cannot write " + options.output);
    if (options.table)
        std::cout << FormatProxyTable(list) << std::flush;
    else if (options.output.empty() && !WriteToStandardOutput(list))
        return Fail(kExitOutput, "cannot write the proxies to standard output");
    return completed ? kExitDone : kExitCanceled;
}
