#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "browser/firefox.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

const std::string kDirectLine = "user_pref(\"network.proxy.type\", 0);";

class PrefsRewriteTest : public ::testing::Test {
protected:
    FirefoxPaths Paths() const { return {dir.File("firefox"), dir.File("prefs.js")}; }
    void WritePrefs(const std::string& content) { dir.WriteFile("prefs.js", content); }
    std::string Prefs() const { return dir.ReadFile("prefs.js"); }
    bool BackupExists() const { return fs::exists(dir.File("prefs.js.bkp")); }
    bool Follows() const
    {
        bool follows = false;
        EXPECT_TRUE(PrefsFollowSystem(Paths(), follows));
        return follows;
    }

    TempDir dir;
};

TEST_F(PrefsRewriteTest, FollowRemovesTheProxyTypeLineAndKeepsABackup)
{
    // Mixed line ends, a lone CR, a tab and a Latin-1 byte inside kept lines.
    const std::string old = "# Mozilla User Preferences\n"
                            "user_pref(\"network.proxy.type\", 1);\r\n"
                            "user_pref(\"a\", \"x\ty\rz\xe9\");\r\n"
                            "user_pref(\"b\", 2);";
    WritePrefs(old);
    EXPECT_FALSE(Follows());

    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ("# Mozilla User Preferences\r\n"
              "user_pref(\"a\", \"x\ty\rz\xe9\");\r\n"
              "user_pref(\"b\", 2);",
              Prefs());
    EXPECT_EQ(old, dir.ReadFile("prefs.js.bkp"));
    EXPECT_TRUE(Follows());
    // Written through a temporary file that is gone afterwards.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        entries += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(2, entries);
}

TEST_F(PrefsRewriteTest, DirectAppendsTheLineRightAfterTheOldContent)
{
    WritePrefs("user_pref(\"a\", 1);\nuser_pref(\"b\", 2);");
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ("user_pref(\"a\", 1);\r\nuser_pref(\"b\", 2);" + kDirectLine, Prefs());
    EXPECT_FALSE(Follows());

    WritePrefs("user_pref(\"a\", 1);\n");
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ("user_pref(\"a\", 1);\r\n" + kDirectLine, Prefs());
    EXPECT_EQ("user_pref(\"a\", 1);\n", dir.ReadFile("prefs.js.bkp"));
}

TEST_F(PrefsRewriteTest, NothingIsWrittenWhenTheFileAlreadyAgrees)
{
    const std::string following = "user_pref(\"a\", 1);\n";
    WritePrefs(following);
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ(following, Prefs());  // LF kept: not rewritten
    EXPECT_FALSE(BackupExists());

    const std::string direct = "user_pref(\"network.proxy.type\", 0);\n";
    WritePrefs(direct);
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ(direct, Prefs());
    EXPECT_FALSE(BackupExists());
}

TEST_F(PrefsRewriteTest, AnyMentionCountsButCapitalsDoNot)
{
    WritePrefs("user_pref(\"NETWORK.PROXY.TYPE\", 1);\n");
    EXPECT_TRUE(Follows());

    WritePrefs("// network.proxy.type was set here\n"
               "user_pref(\"network.proxy.type_extra\", 1);\n"
               "user_pref(\"NETWORK.PROXY.TYPE\", 1);\n");
    EXPECT_FALSE(Follows());
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ("user_pref(\"NETWORK.PROXY.TYPE\", 1);\r\n", Prefs());
}

TEST_F(PrefsRewriteTest, LongLinesAreJudgedAndCopiedWhole)
{
    const std::string longLine = "user_pref(\"x\", \"" + std::string(300 - 19, 'a') + "\");";
    ASSERT_EQ(300u, longLine.size());
    // The name straddles the 255th character of this one.
    const std::string longMention = "// " + std::string(245, 'b') + " network.proxy.type " + std::string(30, 'c');
    WritePrefs(longLine + "\n" + longMention + "\n" + longLine);
    EXPECT_FALSE(Follows());

    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ(longLine + "\r\n" + longLine, Prefs());
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ(longLine + "\r\n" + longLine + kDirectLine, Prefs());
}

TEST_F(PrefsRewriteTest, MissingFileOrPathsDoNothing)
{
    bool follows = true;
    EXPECT_FALSE(PrefsFollowSystem(Paths(), follows));
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_FALSE(fs::exists(dir.File("prefs.js")));
    EXPECT_FALSE(BackupExists());

    WritePrefs("user_pref(\"network.proxy.type\", 1);\n");
    const FirefoxPaths noFirefox = {"", dir.File("prefs.js")};
    EXPECT_FALSE(PrefsFollowSystem(noFirefox, follows));
    SetPrefsFollowSystem(noFirefox, true);
    EXPECT_EQ("user_pref(\"network.proxy.type\", 1);\n", Prefs());
}

}  // namespace
