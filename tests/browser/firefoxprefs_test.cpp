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
    EXPECT_EQ(FolderListing(dir.Path()), std::vector<std::string>{"prefs.js"});  // no backup either
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
        EXPECT_EQ(ReadFileBytes(paths.prefsPath), kPrefs);
        bool follows = true;
        ASSERT_TRUE(PrefsFollowSystem(paths, follows));
        EXPECT_FALSE(follows);
        // No half-written temporary stays behind to hold the space.
        std::vector<std::string> expected = {"prefs.js"};
        if (!readOnly)
            expected.insert(expected.begin(), "filler");
        std::vector<std::string> listing = FolderListing(scratch.Path());
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
    EXPECT_EQ(ReadFileBytes(paths.prefsPath), binary + "\r\n" + longLine + "\r\ntail");
    EXPECT_EQ(ReadFileBytes(paths.prefsPath + ".bkp"), before);
    bool follows = false;
    ASSERT_TRUE(PrefsFollowSystem(paths, follows));
    EXPECT_TRUE(follows);
}
