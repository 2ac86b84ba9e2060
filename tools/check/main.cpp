// velmora-check: tests the proxies of a proxy list from the command line.
#include <cstdio>
#include <malloc.h>
#include <string>

#include "checkdefaults.h"
#include "checkinput.h"
#include "checkoptions.h"
#include "checkoutput.h"
#include "checkrun.h"
#include "openfiles.h"
#include "proxytable.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "testing/checkanonymousworker.h"
#include "testing/testspeedworker.h"

namespace {
constexpr int kExitDone = 0, kExitOutput = 1, kExitBadInput = 2, kExitCanceled = 130;

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "velmora-check: %s\n", message.c_str());
    return code;
}

// "skipped 3 lines that name no proxy (lines 4, 9, 12)", or "" when none was.
std::string SkippedLines(const CheckInput& input)
{
    if (input.skippedLines == 0)
        return "";
    std::string lines;
    for (int number : input.skippedAt)
        lines += (lines.empty() ? "" : ", ") + std::to_string(number);
    if (input.skippedLines > static_cast<int>(input.skippedAt.size()))
        lines += ", ...";
    const bool one = input.skippedLines == 1;
    return "skipped " + std::to_string(input.skippedLines) + (one ? " line" : " lines") + " that name no proxy ("
           + (one ? "line " : "lines ") + lines + ")";
}

}  // namespace

int main(int argc, char** argv)
{
    // All the transfers run on one dispatcher thread. glibc would give that
    // thread an arena of its own, which grows a page or two at a time with an
    // mprotect call each: about four calls a fetch at a thousand jobs. The one
    // main arena grows through brk with glibc's padding instead.
    mallopt(M_ARENA_MAX, 1);

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
        settings.testUrl = options.url.c_str();
    if (!options.expected.empty())
        settings.correctValue = options.expected.c_str();
    if (!IsWebUrl(settings.testUrl))
        return Fail(kExitBadInput, "the test page must be an http or https URL, not \"" + settings.testUrl + "\"");

    std::string text;
    if (!ReadInputText(options.input, text, error))
        return Fail(kExitBadInput, error);
    const std::string name = options.input == "-" ? "standard input" : options.input;
    CheckInput input = ParseCheckInput(text);
    text.clear();
    text.shrink_to_fit();
    const std::string skipped = SkippedLines(input);
    if (input.proxies.empty())
        return Fail(kExitBadInput, "no proxy in " + name + (skipped.empty() ? "" : ": " + skipped));
    if (!skipped.empty())
        std::fprintf(stderr, "velmora-check: %s: %s\n", name.c_str(), skipped.c_str());

    const int transfersPerJob = options.availability ? kAvailabilityTransfersPerJob : kSpeedTransfersPerJob;
    settings.threadCount = FitThreadsToOpenFileLimit(settings.threadCount, transfersPerJob, "velmora-check");

    CProxyList& list = input.proxies;
    const bool completed = RunCheck(list, settings, options.availability);

    const std::string output = FormatProxies(list, options.format);
    if (!options.output.empty() && !WriteOutput(output, options.output))
        return Fail(kExitOutput, "cannot write " + options.output);
    if (options.table) {
        if (!WriteOutput(FormatProxyTable(list), ""))
            return Fail(kExitOutput, "cannot write the table to standard output");
    } else if (options.output.empty() && !WriteOutput(output, "")) {
        return Fail(kExitOutput, "cannot write the proxies to standard output");
    }
    return completed ? kExitDone : kExitCanceled;
}
