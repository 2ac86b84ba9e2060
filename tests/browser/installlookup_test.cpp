#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "browser/firefox.h"
#include "browser/firefoxinstall.h"
#include "browser/firefoxprofile.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

std::string MakeExecutable(const TempDir& dir, const std::string& name) {
    const std::string path = dir.WriteFile(name, "#!/bin/sh\nexit 0\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

TEST(InstallLookupTest, ProfileIsTheFirstDotDefaultFolder) {
    TempDir home;
    EXPECT_EQ("", FindFirefoxProfile(home.Path()));
    home.WriteFile(".mozilla/firefox/aaa.default", "a file, not a profile");
    home.WriteFile(".mozilla/firefox/abb.DEFAULT/prefs.js", "");
    home.WriteFile(".mozilla/firefox/abc.default-release/prefs.js", "");
    home.WriteFile(".mozilla/firefox/abd.default/prefs.js", "");
    home.WriteFile(".mozilla/firefox/profiles.ini", "");
    EXPECT_EQ(home.File(".mozilla/firefox/abc.default-release/prefs.js"), FindFirefoxProfile(home.Path()));
    EXPECT_EQ("", FindFirefoxProfile(""));
}

TEST(InstallLookupTest, PathEntriesComeFirstInAnyCase) {
    TempDir dir;
    dir.WriteFile("empty/readme", "");
    dir.WriteFile("bin/firefox-notes.txt", "not executable");
    const std::string upper = MakeExecutable(dir, "bin/FIREFOX");
    MakeExecutable(dir, "install/firefox/firefox");
    const std::string path = "relative:" + dir.File("empty") + "::" + dir.File("bin");
    EXPECT_EQ(upper, FindFirefoxInstall(path, {dir.Path() + "/install/firefox*"}));
}

TEST(InstallLookupTest, FirstMatchingInstallWithoutProgramMeansNotInstalled) {
    TempDir dir;
    dir.WriteFile("lib/firefox-old/readme", "");
    const std::string later = MakeExecutable(dir, "opt/firefox/firefox");
    const std::vector<std::string> patterns = {dir.Path() + "/lib/firefox*", dir.Path() + "/opt/firefox*"};
    EXPECT_EQ("", FindFirefoxInstall("", patterns));

    fs::remove_all(dir.File("lib"));
    EXPECT_EQ(later, FindFirefoxInstall("", patterns));

    // Debian's firefox-esr names its program after its folder.
    const std::string esr = MakeExecutable(dir, "lib/firefox-esr/firefox-esr");
    EXPECT_EQ(esr, FindFirefoxInstall("", patterns));
}

TEST(InstallLookupTest, PathsAreLookedUpOnceFromPathAndHome) {
    TempDir home;
    const std::string exe = MakeExecutable(home, "bin/firefox");
    home.WriteFile(".mozilla/firefox/x1y2.default-esr/prefs.js", "");
    setenv("PATH", home.File("bin").c_str(), 1);
    setenv("HOME", home.Path().c_str(), 1);
    ResetFirefoxPathsForTest();

    EXPECT_EQ(exe, GetFirefoxPaths().exePath);
    EXPECT_EQ(home.File(".mozilla/firefox/x1y2.default-esr/prefs.js"), GetFirefoxPaths().prefsPath);
    setenv("HOME", "/nonexistent", 1);
    EXPECT_TRUE(GetFirefoxPaths().Complete());
    ResetFirefoxPathsForTest();
    EXPECT_EQ("", GetFirefoxPaths().prefsPath);
}

}  // namespace
