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

TEST_F(PrefsRewriteTest, FollowRemovesOnlyTheStatementsAndKeepsEveryOtherByte)
{
    // Mixed line ends, a lone CR, a tab and a Latin-1 byte inside kept lines,
    // and mentions of the name that are no statement.
    const std::string old = "# Mozilla User Preferences\n"
                            "user_pref(\"network.proxy.type\", 1);\r\n"
                            "user_pref(\"a\", \"x\ty\rz\xe9 user_pref(\\\"network.proxy.type\\\", 1);\");\r\n"
                            "// network.proxy.type was set here\n"
                            "user_pref(\"network.proxy.type_extra\", 1);\n"
                            "user_pref(\"NETWORK.PROXY.TYPE\", 1);\n"
                            "user_pref(\"b\", 2);";
    WritePrefs(old);
    EXPECT_FALSE(Follows());

    SetPrefsFollowSystem(Paths(), true);
    std::string expected = old;
    const std::string statement = "user_pref(\"network.proxy.type\", 1);\r\n";
    expected.erase(expected.find(statement), statement.size());
    EXPECT_EQ(expected, Prefs());
    EXPECT_EQ(old, dir.ReadFile("prefs.js.bkp"));
    EXPECT_TRUE(Follows());
    // Written through a temporary file that is gone afterwards.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        entries += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(2, entries);
}

TEST_F(PrefsRewriteTest, DirectGoesOnALineOfItsOwnWithTheFilesLineEnds)
{
    // A last line without a line end, even a comment, is not extended.
    WritePrefs("user_pref(\"a\", 1);\nuser_pref(\"b\", 2); // last");
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ("user_pref(\"a\", 1);\nuser_pref(\"b\", 2); // last\n" + kDirectLine + "\n", Prefs());
    EXPECT_FALSE(Follows());

    // CR-only line ends stay CR-only, and the way back leaves the start.
    const std::string crOnly = "user_pref(\"a\", 1);\ruser_pref(\"b\", 2);\r";
    WritePrefs(crOnly);
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ(crOnly + kDirectLine + "\r", Prefs());
    EXPECT_EQ(crOnly, dir.ReadFile("prefs.js.bkp"));
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ(crOnly, Prefs());
}

TEST_F(PrefsRewriteTest, NothingIsWrittenWhenTheFileAlreadyAgrees)
{
    const std::string following = "user_pref(\"a\", 1);\nuser_pref(\"network.proxy.type\", 5);\n";
    WritePrefs(following);
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ(following, Prefs());
    EXPECT_FALSE(BackupExists());

    const std::string direct = "user_pref(\"network.proxy.type\", 0);\n";
    WritePrefs(direct);
    SetPrefsFollowSystem(Paths(), false);
    EXPECT_EQ(direct, Prefs());
    EXPECT_FALSE(BackupExists());
}

TEST_F(PrefsRewriteTest, ALinkedPrefsIsWrittenThroughItsLink)
{
    const std::string target = dir.WriteFile("real/prefs.js", "user_pref(\"network.proxy.type\", 1);\n");
    fs::create_symlink(target, dir.File("prefs.js"));
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_TRUE(fs::is_symlink(dir.File("prefs.js")));
    EXPECT_EQ("", dir.ReadFile("real/prefs.js"));
    EXPECT_TRUE(Follows());
}

TEST_F(PrefsRewriteTest, AUserJsThatSetsTheProxyTypeIsNotOverruled)
{
    WritePrefs("user_pref(\"network.proxy.type\", 1);\n");
    dir.WriteFile("user.js", "user_pref(\"network.proxy.type\", 0); // my choice\n");
    bool follows = true;
    std::string why;
    EXPECT_FALSE(PrefsFollowSystem(Paths(), follows, &why));
    EXPECT_NE(std::string::npos, why.find("user.js")) << why;
    SetPrefsFollowSystem(Paths(), true);
    EXPECT_EQ("user_pref(\"network.proxy.type\", 1);\n", Prefs());
    EXPECT_FALSE(BackupExists());

    // One that leaves it to the system, or says nothing of it, changes nothing.
    dir.WriteFile("user.js", "user_pref(\"network.proxy.type\", 5);\nuser_pref(\"x\", 1);\n");
    EXPECT_FALSE(Follows());
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
