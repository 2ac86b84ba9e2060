#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "browser/chromiumprefs.h"
#include "browser/firefox.h"
#include "browser/webrtcpolicy.h"
#include "support/tempdir.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kOurs = "\"disable_non_proxied_udp\"";
const std::string kPrefs = "{\"browser\":{\"x\":1},\"webrtc\":{\"ip_handling_policy\":\"default\"}}";
// What the stand-in browser writes while it shuts down, as Chromium does.
const std::string kAtExit = "{\"browser\":{\"x\":2},\"webrtc\":{\"ip_handling_policy\":\"default\"}}";

class RecordingQuestion : public IQuestion {
public:
    explicit RecordingQuestion(bool answer) : answer_(answer) {}
    bool AskYesNo(const std::string& text) override
    {
        asked.push_back(text);
        return answer_;
    }
    std::vector<std::string> asked;

private:
    bool answer_;
};

// A user-data folder whose profile in use is "Profile 1", a stand-in
// launcher on PATH that records its start, and, on request, a running
// stand-in browser (a script named chromium) that holds the SingletonLock
// and rewrites Preferences when it is asked to end.
class WebRtcPolicyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        browser = ChromiumBrowsers(home.Path(), home.File("config")).front();
        browser.policyDir = home.File("policies");
        home.WriteFile("config/chromium/Local State", "{\"profile\":{\"last_used\":\"Profile 1\"}}");
        prefs = home.WriteFile("config/chromium/Profile 1/Preferences", kPrefs);
        home.WriteFile("config/chromium/Default/Preferences", "{}");
        home.WriteFile("bin/chromium", "#!/bin/sh\ntouch '" + home.File("started") + "'\n");
        home.WriteFile("atexit.json", kAtExit);
        home.WriteFile("running/chromium", "#!/bin/sh\ntrap 'cp \"" + home.File("atexit.json") + "\" \"" + prefs
                                               + "\"; exit 0' TERM\ni=0\nwhile [ $i -lt 600 ]; do sleep 0.1; "
                                                 "i=$((i+1)); done\n");
        fs::permissions(home.File("bin/chromium"), fs::perms::owner_all);
        fs::permissions(home.File("running/chromium"), fs::perms::owner_all);
        oldPath_ = std::getenv("PATH");
        setenv("PATH", (home.File("bin") + ":" + oldPath_).c_str(), 1);
    }
    void TearDown() override
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        setenv("PATH", oldPath_.c_str(), 1);
    }

    void StartRunning()
    {
        const std::string exe = home.File("running/chromium");
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        ASSERT_EQ(0, posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, environ));
        fs::create_symlink(std::string(g_get_host_name()) + "-" + std::to_string(pid_),
                           browser.userDataDir + "/SingletonLock");
        for (int i = 0; i < 200 && RunningChromium(browser) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(pid_, RunningChromium(browser));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the trap is set
    }

    WebRtcOutcome Keep(bool keep, IQuestion& question)
    {
        const std::vector<WebRtcResult> results =
            KeepWebRtcBehindProxy({browser}, keep, question, home.File("state/webrtc-policy.ini"));
        EXPECT_EQ(1u, results.size());
        return results.empty() ? WebRtcOutcome::Failed : results.front().outcome;
    }
    std::string Policy() const
    {
        return ReadWebRtcPolicy(home.ReadFile("config/chromium/Profile 1/Preferences")).policy.value_or("");
    }

    TempDir home;
    ChromiumBrowser browser;
    std::string prefs;

private:
    std::string oldPath_;
    pid_t pid_ = 0;
};

TEST_F(WebRtcPolicyTest, SetsTheProfileInUseAndPutsTheOldValueBack)
{
    RecordingQuestion never(false);
    EXPECT_EQ(WebRtcOutcome::BehindProxy, Keep(true, never));
    EXPECT_EQ(kOurs, Policy());
    EXPECT_EQ("{}", home.ReadFile("config/chromium/Default/Preferences"));
    EXPECT_EQ(kPrefs, home.ReadFile("config/chromium/Profile 1/Preferences.bkp"));
    // Again: nothing to do, and the value from before is not replaced by ours.
    EXPECT_EQ(WebRtcOutcome::BehindProxy, Keep(true, never));
    EXPECT_EQ(WebRtcOutcome::PutBack, Keep(false, never));
    EXPECT_EQ(kPrefs, home.ReadFile("config/chromium/Profile 1/Preferences"));
    EXPECT_TRUE(never.asked.empty());
    EXPECT_FALSE(fs::exists(home.File("state/webrtc-policy.ini")));
    const WebRtcResult asItIs = WebRtcAsItIs({browser}).front();
    EXPECT_EQ(WebRtcOutcome::Exposed, asItIs.outcome);
    EXPECT_EQ("WebRTC in Chromium can show web pages your real address; turn on \"Keep WebRTC behind the proxy\" "
              "in Setting, Switch Proxy Setting, to keep it behind the proxy.",
              WebRtcLeakMessage(asItIs));

    // A value the user chose since is left alone.
    EXPECT_EQ(WebRtcOutcome::BehindProxy, Keep(true, never));
    WriteWebRtcPolicy(prefs, std::string("\"default_public_interface_only\""));
    EXPECT_EQ(WebRtcOutcome::PutBack, Keep(false, never));
    EXPECT_EQ("\"default_public_interface_only\"", Policy());

    // Without a user setting to win over, a machine policy decides.
    home.WriteFile("policies/a.json", "{\"WebRtcIPHandling\":\"default\"}");
    EXPECT_EQ(WebRtcOutcome::Policy, Keep(true, never));
    EXPECT_EQ(WebRtcOutcome::Policy, WebRtcAsItIs({browser}).front().outcome);
    EXPECT_NE(std::string::npos,
              WebRtcLeakMessage(KeepWebRtcBehindProxy({browser}, true, never, home.File("s")).front())
                  .find("WebRTC in Chromium can show web pages your real address; a policy"));
}

TEST_F(WebRtcPolicyTest, ARunningBrowserIsClosedFirstAndStartedAgain)
{
    StartRunning();
    RecordingQuestion no(false);
    EXPECT_EQ(WebRtcOutcome::NotClosed, Keep(true, no));
    EXPECT_EQ(
        std::vector<std::string>{"Chromium should be closed to change its setting. Do you want to close Chromium?"},
        no.asked);
    EXPECT_EQ(kPrefs, home.ReadFile("config/chromium/Profile 1/Preferences"));
    EXPECT_NE(0, RunningChromium(browser));

    // Yes: the browser ends (writing its Preferences), then the value goes
    // into what it wrote, then the browser starts again.
    RecordingQuestion yes(true);
    EXPECT_EQ(WebRtcOutcome::BehindProxy, Keep(true, yes));
    EXPECT_EQ(1u, yes.asked.size());
    const std::string written = home.ReadFile("config/chromium/Profile 1/Preferences");
    EXPECT_EQ("{\"browser\":{\"x\":2},\"webrtc\":{\"ip_handling_policy\":" + kOurs + "}}", written);
    for (int i = 0; i < 200 && !fs::exists(home.File("started")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(home.File("started")));
}

}  // namespace
