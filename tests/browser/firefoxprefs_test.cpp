// A Firefox profile the program cannot use as it expects: prefs.js is a
// folder, lies on a read-only or full disk, or holds binary bytes. Nothing
// may be written then, and what is rewritten keeps every other byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "browser/firefox.h"
#include "support/scratchfilesystem.h"
#include "support/tempdir.h"

namespace {
const std::string kPrefs = "// Mozilla User Preferences\r\nuser_pref(\"browser.startup.page\", 3);\r\n"
                           "user_pref(\"network.proxy.type\", 1);\r\nuser_pref(\"x\", true);\r\n";

FirefoxPaths PathsIn(const std::string& folder)
{
    FirefoxPaths paths;
    paths.exePath = folder + "/firefox";  // never started here
    paths.prefsPath = folder + "/prefs.js";
    return paths;
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    std::string bytes;
    if (!file)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}
}  // namespace

TEST(HostileFirefoxPrefs, FolderInPlaceOfPrefsIsUnreadableAndNothingIsWritten)
{
    TempDir dir;
    const FirefoxPaths paths = PathsIn(dir.Path());
    ASSERT_EQ(mkdir(paths.prefsPath.c_str(), 0700), 0);
    bool follows = true;
    EXPECT_FALSE(PrefsFollowSystem(paths, follows));
    SetPrefsFollowSystem(paths, false);
    SetPrefsFollowSystem(paths, true);
    EXPECT_TRUE(std::filesystem::is_directory(paths.prefsPath));
    EXPECT_TRUE(std::filesystem::is_empty(paths.prefsPath));
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"prefs.js"});  // no backup either
}

TEST(HostileFirefoxPrefs, ReadOnlyOrFullDiskLeavesPrefsWhole)
{
    for (bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "full");
        ScratchFilesystem scratch(128);
        if (!scratch.Mounted())
            GTEST_SKIP() << scratch.WhyNot();
        const FirefoxPaths paths = PathsIn(scratch.Path());
        TempDir source;
        std::filesystem::copy_file(source.WriteFile("prefs.js", kPrefs), paths.prefsPath);
        ASSERT_TRUE(readOnly ? scratch.MakeReadOnly() : scratch.Fill());

        SetPrefsFollowSystem(paths, true);
        EXPECT_EQ(ReadAll(paths.prefsPath), kPrefs);
        bool follows = true;
        ASSERT_TRUE(PrefsFollowSystem(paths, follows));
        EXPECT_FALSE(follows);
        // No half-written temporary stays behind to hold the space.
        std::vector<std::string> expected = {"prefs.js"};
        if (!readOnly)
            expected.insert(expected.begin(), "filler");
        std::vector<std::string> listing = Listing(scratch.Path());
        listing.erase(std::remove(listing.begin(), listing.end(), "prefs.js.bkp"), listing.end());
        EXPECT_EQ(listing, expected);
    }
}

TEST(HostileFirefoxPrefs, BinaryBytesAndLongLinesSurviveTheRewrite)
{
    TempDir dir;
    const FirefoxPaths paths = PathsIn(dir.Path());
    static const char binaryLine[] = "\x00\x01\xff\xfe user_pref(\"a\", \"\x80\x81\");";
    const std::string binary(binaryLine, sizeof binaryLine - 1);
    const std::string longLine = "user_pref(\"long\", \"" + std::string(5000, 'L') + "\");";
    const std::string before = binary + "\r\n" + longLine + "\r\nuser_pref(\"network.proxy.type\", 2);\r\ntail";
    dir.WriteFile("prefs.js", before);

    SetPrefsFollowSystem(paths, true);
    EXPECT_EQ(ReadAll(paths.prefsPath), binary + "\r\n" + longLine + "\r\ntail");
    EXPECT_EQ(ReadAll(paths.prefsPath + ".bkp"), before);
    bool follows = false;
    ASSERT_TRUE(PrefsFollowSystem(paths, follows));
    EXPECT_TRUE(follows);
}
