// Rewriting prefs.js: the file ends up following (or not) as asked, the
// backup holds the old bytes, nothing but the statements goes, and the direct
// statement is added after the old bytes whole.
#include <filesystem>
#include <string>
#include <string_view>

#include "browser/firefox.h"
#include "fuzzsupport.h"

namespace {

constexpr std::string_view kDirectLine = "user_pref(\"network.proxy.type\", 0);";

// Whether `kept` is `content` with some of its bytes left out, the others in order.
bool IsSubsequence(std::string_view kept, std::string_view content)
{
    size_t at = 0;
    for (const char c : content)
        if (at < kept.size() && kept[at] == c)
            ++at;
    return at == kept.size();
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
        if (follow) {
            FUZZ_CHECK(rewritten.size() < content.size() && IsSubsequence(rewritten, content));
        } else {
            FUZZ_CHECK(rewritten.compare(0, content.size(), content) == 0);
            FUZZ_CHECK(rewritten.find(kDirectLine, content.size()) != std::string::npos);
        }
    }
    return 0;
}
