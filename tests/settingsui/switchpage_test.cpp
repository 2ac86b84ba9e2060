#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "browser/firefox.h"
#include "settings/onoffsetting.h"
#include "settings/setting.h"
#include "settings/ui/settingdialog.h"
#include "settinguitest.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kProfile = ".mozilla/firefox/abc.default-release";
const std::string kProxyLine = "user_pref(\"network.proxy.type\", 0);";
const std::string kPlainPrefs = "user_pref(\"browser.startup.page\", 3);\r\n";
const QString kCloseQuestion =
    QStringLiteral("Firefox should be closed to change its setting. Do you want to close Firefox?");

// A temporary HOME holding a Firefox profile, and a stand-in firefox on PATH
// that records the prefs.js it starts with.
class FirefoxWorld : public ::testing::Environment {
public:
    void SetUp() override
    {
        home.WriteFile(kProfile + "/prefs.js", kPlainPrefs);
        home.WriteFile("bin/firefox", "#!/bin/sh\ncp '" + PrefsPath() + "' '" + StartedWithPath() + "'\n");
        fs::permissions(home.File("bin/firefox"), fs::perms::owner_all);
        // The running Firefox is a copy of sleep under one of Firefox's names
        // beside the found one: a process is Firefox only when it runs a
        // program of the found install.
        fs::copy_file("/bin/sleep", RunningExe());
        setenv("HOME", home.Path().c_str(), 1);
        setenv("PATH", (home.File("bin") + ":" + std::getenv("PATH")).c_str(), 1);
    }

    static std::string PrefsPath() { return home.File(kProfile + "/prefs.js"); }
    static std::string StartedWithPath() { return home.File("started-with.js"); }
    static std::string RunningExe() { return home.File("bin/firefox-bin"); }

    static TempDir home;
};
TempDir FirefoxWorld::home;
const ::testing::Environment* const world = ::testing::AddGlobalTestEnvironment(new FirefoxWorld);

// A running Firefox of the found install, reaped as soon as it ends so that it disappears.
class RunningFirefox {
public:
    RunningFirefox()
    {
        const std::string exe = FirefoxWorld::RunningExe();
        char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("300"), nullptr};
        if (posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start the stand-in Firefox");
        reaper_ = std::thread([this]() {
            int status = 0;
            waitpid(pid_, &status, 0);
            ended_ = true;
        });
        // The parent may resume before exec has renamed the child; wait for the name.
        for (int i = 0; i < 500 && ProcessName() != "firefox-bin"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~RunningFirefox()
    {
        if (!ended_)
            kill(pid_, SIGKILL);
        reaper_.join();
    }
    // An ended process stays a zombie until the reaper thread's waitpid
    // returns, which may come later than the program under test saw it end.
    bool Running() const
    {
        if (ended_)
            return false;
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t nameEnd = line.rfind(')');
        return nameEnd != std::string::npos && nameEnd + 2 < line.size() && line[nameEnd + 2] != 'Z'
               && line[nameEnd + 2] != 'X';
    }

private:
    std::string ProcessName() const
    {
        std::ifstream comm("/proc/" + std::to_string(pid_) + "/comm");
        std::string name;
        std::getline(comm, name);
        return name;
    }

    pid_t pid_ = 0;
    std::atomic<bool> ended_{false};
    std::thread reaper_;
};

class SwitchPageTest : public SettingUiTest {
protected:
    void SetUp() override
    {
        SettingUiTest::SetUp();
        WritePrefs(kPlainPrefs);
        fs::remove(FirefoxWorld::PrefsPath() + ".bkp");
        fs::remove(FirefoxWorld::StartedWithPath());
        ResetFirefoxPathsForTest();
        if (FindFirefoxProcess(GetFirefoxPaths()) != 0)
            GTEST_SKIP() << "another Firefox of this user is running";
    }

    static void WritePrefs(const std::string& content)
    {
        FirefoxWorld::home.WriteFile(kProfile + "/prefs.js", content);
    }
    static std::string Prefs() { return FirefoxWorld::home.ReadFile(kProfile + "/prefs.js"); }

    // Opens the dialog on the switch page and returns the FireFox box.
    QCheckBox* OpenSwitchPage(bool firefoxFollowsDesktop = true)
    {
        dialog_ = std::make_unique<CSettingDialog>(prompt_, nullptr, firefoxFollowsDesktop);
        dialog_->show();
        Child<QTabWidget>(*dialog_, "settingTabs")->setCurrentIndex(1);
        return Child<QCheckBox>(*dialog_, "firefoxCheck");
    }
    void PressOk() { Child<QPushButton>(*dialog_, "okButton")->click(); }

    std::unique_ptr<CSettingDialog> dialog_;
};

TEST_F(SwitchPageTest, UncheckingWhileFirefoxRunsAndAnsweringNoLeavesPrefsAlone)
{
    GetSetting().SetFlag(SettingKey::Firefox, true);
    RunningFirefox firefox;

    // Leaving the box as it is asks nothing.
    QCheckBox* box = OpenSwitchPage();
    ASSERT_TRUE(box->isEnabled());
    ASSERT_TRUE(box->isChecked());
    PressOk();
    EXPECT_TRUE(prompt_.Texts().isEmpty());

    box = OpenSwitchPage();
    box->click();
    prompt_.Queue(IPrompt::AnsNo);
    PressOk();

    EXPECT_EQ(prompt_.Texts(), QStringList{kCloseQuestion});
    EXPECT_EQ(prompt_.Prompts().front().buttons, IPrompt::YesNo);
    EXPECT_FALSE(GetSetting().GetSwitchItem().firefox);
    EXPECT_TRUE(SettingFileHasLine("Firefox\t0"));
    EXPECT_EQ(Prefs(), kPlainPrefs);
    EXPECT_FALSE(fs::exists(FirefoxWorld::PrefsPath() + ".bkp"));
    EXPECT_TRUE(firefox.Running());
}

TEST_F(SwitchPageTest, CheckingWhileFirefoxRunsAndAnsweringYesRestartsItWithNewPrefs)
{
    const std::string oldPrefs = kPlainPrefs + kProxyLine;
    WritePrefs(oldPrefs);
    RunningFirefox firefox;

    QCheckBox* box = OpenSwitchPage();
    ASSERT_FALSE(box->isChecked());
    box->click();
    prompt_.Queue(IPrompt::AnsYes);
    PressOk();

    EXPECT_EQ(prompt_.Texts(), QStringList{kCloseQuestion});
    EXPECT_TRUE(GetSetting().GetSwitchItem().firefox);
    EXPECT_TRUE(SettingFileHasLine("Firefox\t1"));
    EXPECT_FALSE(firefox.Running());
    EXPECT_EQ(Prefs(), kPlainPrefs);
    EXPECT_EQ(FirefoxWorld::home.ReadFile(kProfile + "/prefs.js.bkp"), oldPrefs);
    // The new Firefox found the rewritten file: terminate, rewrite, then start.
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(FirefoxWorld::StartedWithPath()), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(FirefoxWorld::home.ReadFile("started-with.js"), kPlainPrefs, 5000);
}

TEST_F(SwitchPageTest, ChangingWhileFirefoxIsNotRunningRewritesPrefsWithoutAsking)
{
    GetSetting().SetFlag(SettingKey::Firefox, true);
    OpenSwitchPage()->click();
    PressOk();

    EXPECT_TRUE(prompt_.Texts().isEmpty());
    EXPECT_FALSE(GetSetting().GetSwitchItem().firefox);
    EXPECT_EQ(Prefs(), kPlainPrefs + kProxyLine + "\r\n");
    EXPECT_FALSE(fs::exists(FirefoxWorld::StartedWithPath()));
}

TEST_F(SwitchPageTest, UnreadablePrefsDisableTheChoiceAndKeepTheSetting)
{
    fs::remove(FirefoxWorld::PrefsPath());
    GetSetting().SetFlag(SettingKey::Firefox, true);
    QCheckBox* box = OpenSwitchPage();
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());  // never claims that Firefox follows

    PressOk();
    EXPECT_TRUE(prompt_.Texts().isEmpty());
    EXPECT_TRUE(GetSetting().GetSwitchItem().firefox);
    EXPECT_TRUE(SettingFileHasLine("Firefox\t1"));
    EXPECT_FALSE(fs::exists(FirefoxWorld::PrefsPath()));
}

// KDE Plasma without GNOME's proxy settings: Firefox reads nothing Hide IP writes.
TEST_F(SwitchPageTest, ADesktopFirefoxDoesNotFollowDisablesTheChoiceWithTheReason)
{
    GetSetting().SetFlag(SettingKey::Firefox, true);
    QCheckBox* box = OpenSwitchPage(false);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("Firefox does not follow the desktop's proxy on this desktop")));
    PressOk();
    EXPECT_EQ(Prefs(), kPlainPrefs);
}

TEST_F(SwitchPageTest, TheWebRtcBoxSetsChromiumsProfileAndTurnedOffPutsItBack)
{
    const std::string prefs = ".config/chromium/Default/Preferences";
    const std::string old = "{\"intl\":{\"accept_languages\":\"de\"}}";
    FirefoxWorld::home.WriteFile(prefs, old);
    GetWebRtcSetting().on = false;

    OpenSwitchPage();
    QCheckBox* box = Child<QCheckBox>(*dialog_, "webrtcCheck");
    ASSERT_FALSE(box->isChecked());
    box->click();
    PressOk();
    EXPECT_TRUE(prompt_.Texts().isEmpty());
    EXPECT_TRUE(GetWebRtcSetting().on);
    EXPECT_EQ("WebRTC:\r\nKeep Behind Proxy\t1\r\n", dir_.ReadFile("webrtc.nbx"));
    EXPECT_EQ(
        "{\"webrtc\":{\"ip_handling_policy\":\"disable_non_proxied_udp\"},\"intl\":{\"accept_languages\":\"de\"}}",
        FirefoxWorld::home.ReadFile(prefs));

    OpenSwitchPage();
    box = Child<QCheckBox>(*dialog_, "webrtcCheck");
    ASSERT_TRUE(box->isChecked());
    box->click();
    PressOk();
    EXPECT_FALSE(GetWebRtcSetting().on);
    EXPECT_EQ(old, FirefoxWorld::home.ReadFile(prefs));
    fs::remove_all(FirefoxWorld::home.File(".config/chromium"));
}

}  // namespace
