// Rewriting prefs.js: the file ends up following (or not) as asked, the
// backup holds the old bytes, and every kept line comes through unchanged.
#include <filesystem>
#include <string>
#include <string_view>

#include "browser/firefox.h"
#include "fuzzsupport.h"

namespace {

constexpr std::string_view kDirectLine = "user_pref(\"network.proxy.type\", 0);";

// What the rewrite should produce: lines end at LF (a CR before it belongs to
// the line end), kept lines are copied byte for byte with CR LF.
std::string Expected(std::string_view content, bool follow)
{
    std::string result;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (follow && line.find("network.proxy.type") != std::string_view::npos)
            continue;
        result.append(line);
        if (end != std::string_view::npos)
            result.append("\r\n");
    }
    if (!follow)
        result.append(kDirectLine);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the direction, the rest is prefs.js.
    const bool follow = data[0] & 1;
    const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::filesystem::create_directories(FuzzWorkDir() + "/profile.default");
    FirefoxPaths paths;
    paths.exePath = FuzzWorkDir() + "/firefox";
    paths.prefsPath = WriteFuzzFile("profile.default/prefs.js", data + 1, size - 1);
    const std::string backup = paths.prefsPath + ".bkp";
    std::filesystem::remove(backup);

    bool before = false;
    FUZZ_CHECK(PrefsFollowSystem(paths, before));
    SetPrefsFollowSystem(paths, follow);
    bool after = !follow;
    FUZZ_CHECK(PrefsFollowSystem(paths, after));
    FUZZ_CHECK(after == follow);

    const std::string rewritten = ReadFuzzFile(paths.prefsPath);
    if (before == follow) {
        FUZZ_CHECK(rewritten == content);
        FUZZ_CHECK(!std::filesystem::exists(backup));
    } else {
        FUZZ_CHECK(ReadFuzzFile(backup) == content);
        FUZZ_CHECK(rewritten == Expected(content, follow));
    }
    return 0;
}
