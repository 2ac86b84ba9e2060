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

std::string MakeExecutable(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.WriteFile(name, "#!/bin/sh\nexit 0\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

TEST(InstallLookupTest, ProfileWithoutIniFilesIsTheFirstDotDefaultFolder)
{
    TempDir home;
    const std::vector<std::string> roots = FirefoxProfileRoots(home.Path(), "");
    EXPECT_EQ("", FindFirefoxProfile(roots));
    home.WriteFile(".mozilla/firefox/aaa.default", "a file, not a profile");
    home.WriteFile(".mozilla/firefox/abb.DEFAULT/prefs.js", "");
    home.WriteFile(".mozilla/firefox/abc.default-release/prefs.js", "");
    home.WriteFile(".mozilla/firefox/abd.default/prefs.js", "");
    home.WriteFile(".mozilla/firefox/profiles.ini", "");
    EXPECT_EQ(home.File(".mozilla/firefox/abc.default-release/prefs.js"), FindFirefoxProfile(roots));
    EXPECT_EQ("", FindFirefoxProfile(FirefoxProfileRoots("", "")));
}

TEST(InstallLookupTest, ProfileIsTheOneTheIniFilesNameInTheXdgFolderFirst)
{
    // Firefox ESR 153 as Debian runs it: two .default folders under
    // $XDG_CONFIG_HOME/mozilla/firefox, the one in use named by the .ini files.
    TempDir home;
    const std::string config = home.File("config");
    const std::vector<std::string> roots = FirefoxProfileRoots(home.Path(), config);
    EXPECT_EQ(config + "/mozilla/firefox", roots.front());
    home.WriteFile(".mozilla/firefox/old.default/prefs.js", "");
    home.WriteFile("config/mozilla/firefox/aaa.default/prefs.js", "");
    home.WriteFile("config/mozilla/firefox/bbb.default-esr/prefs.js", "");
    home.WriteFile("config/mozilla/firefox/profiles.ini",
                   "[Profile1]\nName=default\nIsRelative=1\nPath=aaa.default\nDefault=1\n\n"
                   "[Profile0]\nName=default-esr\nIsRelative=1\nPath=bbb.default-esr\n");
    EXPECT_EQ(config + "/mozilla/firefox/aaa.default/prefs.js", FindFirefoxProfile(roots));

    // The install's own default wins over Default=1.
    home.WriteFile("config/mozilla/firefox/installs.ini", "[3B6073811A6ABF12]\nDefault=bbb.default-esr\nLocked=1\n");
    EXPECT_EQ(config + "/mozilla/firefox/bbb.default-esr/prefs.js", FindFirefoxProfile(roots));

    // Two installs: the group of the Firefox found, by the install that last ran its profile.
    home.WriteFile("config/mozilla/firefox/installs.ini",
                   "[3B6073811A6ABF12]\nDefault=bbb.default-esr\n[46F4AB8FE48A1C1E]\nDefault=aaa.default\n");
    home.WriteFile("config/mozilla/firefox/aaa.default/compatibility.ini",
                   "[Compatibility]\nLastPlatformDir=/usr/lib/firefox-esr\n");
    EXPECT_EQ(config + "/mozilla/firefox/aaa.default/prefs.js", FindFirefoxProfile(roots, "/usr/lib/firefox-esr"));
    EXPECT_EQ(config + "/mozilla/firefox/bbb.default-esr/prefs.js", FindFirefoxProfile(roots, "/opt/firefox"));

    // An absolute path, and an install default whose folder is gone.
    home.WriteFile("elsewhere/prefs.js", "");
    home.WriteFile("config/mozilla/firefox/installs.ini", "[3B6073811A6ABF12]\nDefault=gone.default\n");
    home.WriteFile("config/mozilla/firefox/profiles.ini",
                   "[Profile0]\nIsRelative=0\nPath=" + home.File("elsewhere") + "\nDefault=1\n");
    EXPECT_EQ(home.File("elsewhere/prefs.js"), FindFirefoxProfile(roots));

    // Without the XDG folder, ~/.mozilla/firefox, then Snap's and Flatpak's.
    std::filesystem::remove_all(config);
    EXPECT_EQ(home.File(".mozilla/firefox/old.default/prefs.js"), FindFirefoxProfile(roots));
    std::filesystem::remove_all(home.File(".mozilla"));
    home.WriteFile(".var/app/org.mozilla.firefox/.mozilla/firefox/f.default/prefs.js", "");
    EXPECT_EQ(home.File(".var/app/org.mozilla.firefox/.mozilla/firefox/f.default/prefs.js"), FindFirefoxProfile(roots));
    home.WriteFile("snap/firefox/common/.mozilla/firefox/s.default/prefs.js", "");
    EXPECT_EQ(home.File("snap/firefox/common/.mozilla/firefox/s.default/prefs.js"), FindFirefoxProfile(roots));
}

TEST(InstallLookupTest, PathEntriesComeFirstInAnyCase)
{
    TempDir dir;
    dir.WriteFile("empty/readme", "");
    dir.WriteFile("bin/firefox-notes.txt", "not executable");
    const std::string upper = MakeExecutable(dir, "bin/FIREFOX");
    MakeExecutable(dir, "install/firefox/firefox");
    const std::string path = "relative:" + dir.File("empty") + "::" + dir.File("bin");
    EXPECT_EQ(upper, FindFirefoxInstall(path, {dir.Path() + "/install/firefox*"}));
}

TEST(InstallLookupTest, FirstMatchingInstallWithoutProgramMeansNotInstalled)
{
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

TEST(InstallLookupTest, PathsAreLookedUpOnceFromPathAndHome)
{
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
