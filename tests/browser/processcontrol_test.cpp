#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "browser/firefox.h"
#include "browser/firefoxprocess.h"
#include "support/tempdir.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kProfile = ".mozilla/firefox/abc.default-release";
const std::string kProxyTypeLine = "user_pref(\"network.proxy.type\", 1);\r\n";
const std::string kSavedLine = "user_pref(\"browser.saved\", true);";

// A temporary HOME with a profile and PATH holding only a stand-in firefox
// that records the prefs it starts with and its parent, then touches "started".
class FirefoxWorld : public ::testing::Environment {
public:
    void SetUp() override
    {
        Write("bin/firefox", "#!/bin/sh\n"
                             "cp \"$HOME/"
                                 + kProfile
                                 + "/prefs.js\" \"$HOME/prefs-at-start\"\n"
                                   "echo $PPID > \"$HOME/parent\"\n"
                                   "touch \"$HOME/started\"\n");
        // Sleeps until SIGTERM, then saves its prefs while shutting down as
        // Firefox does, a little later so that an early rewrite would be lost.
        Write("running/firefox", "#!/bin/sh\n"
                                 "trap 'kill $child; sleep 0.3; printf \"%s\\n\" \"$1\" >> \"$2\"; exit 0' TERM\n"
                                 "sleep 30 & child=$!\n"
                                 "touch \"$HOME/ready\"\n"
                                 "wait $child\n");
        Write("running/firefox-esr", "#!/bin/sh\ntrap '' TERM\ntouch \"$HOME/ready\"\nsleep 30\n");
        fs::copy_file("/bin/sleep", home.File("running/firefox-bin"));
        fs::copy_file("/bin/sleep", home.File("running/FIREFOX"));
        fs::copy_file("/bin/sleep", home.File("running/sleeper"));
        setenv("HOME", home.Path().c_str(), 1);
        setenv("PATH", (home.File("bin") + ":/usr/bin:/bin").c_str(), 1);
    }

    static void Write(const std::string& name, const std::string& script)
    {
        fs::permissions(home.WriteFile(name, script), fs::perms::owner_all);
    }
    static std::string Prefs() { return home.ReadFile(kProfile + "/prefs.js"); }
    static std::string PrefsPath() { return home.File(kProfile + "/prefs.js"); }

    static TempDir home;
};
TempDir FirefoxWorld::home;
const ::testing::Environment* const world = ::testing::AddGlobalTestEnvironment(new FirefoxWorld);

// A process started by the test in a group of its own; killed and reaped at the end.
class StandIn {
public:
    StandIn(const std::string& name, std::vector<std::string> args = {"30"})
    {
        args.insert(args.begin(), FirefoxWorld::home.File("running/" + name));
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        if (posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), environ) != 0)
            pid = 0;
        posix_spawnattr_destroy(&attributes);
        // Wait until the new program runs under its own name.
        for (int i = 0; i < 250 && pid > 0 && Comm() != name; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~StandIn()
    {
        if (pid > 0) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string Comm() const
    {
        std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
        std::string text;
        std::getline(file, text);
        return text;
    }
    bool Alive() const { return pid > 0 && kill(pid, 0) == 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

    pid_t pid = 0;
};

bool WaitForFile(const std::string& name)
{
    for (int i = 0; i < 250; ++i) {
        if (fs::exists(FirefoxWorld::home.File(name)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

struct ScriptedQuestion : IQuestion {
    explicit ScriptedQuestion(bool yes) : answer(yes) {}
    bool AskYesNo(const std::string& text) override
    {
        asked.push_back(text);
        return answer;
    }
    bool answer;
    std::vector<std::string> asked;
};

class ProcessControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"started", "ready", "prefs-at-start", "parent", kProfile.c_str()})
            fs::remove_all(FirefoxWorld::home.File(name));
        FirefoxWorld::home.WriteFile(kProfile + "/prefs.js", "user_pref(\"a\", 1);\r\n" + kProxyTypeLine);
        ResetFirefoxPathsForTest();
        paths = GetFirefoxPaths();
        ASSERT_TRUE(paths.Complete()) << paths.exePath << " | " << paths.prefsPath;
        if (FindFirefoxProcess(paths) != 0)
            GTEST_SKIP() << "another Firefox of this user is running";
    }

    FirefoxPaths paths;
};

TEST_F(ProcessControlTest, FindsAndEndsAProcessWithAFirefoxName)
{
    // Only the names Firefox's processes have count, not every name with "firefox" in it.
    StandIn other("sleeper");
    StandIn upper("FIREFOX");
    EXPECT_EQ(0, FindFirefoxProcess(paths));
    EXPECT_FALSE(TerminateFirefox(paths, other.pid));  // not a Firefox: left alone
    EXPECT_TRUE(other.Alive());

    StandIn firefox("firefox-bin");
    ASSERT_GT(firefox.pid, 0);
    EXPECT_EQ(firefox.pid, FindFirefoxProcess(paths));
    EXPECT_TRUE(TerminateFirefox(paths, firefox.pid));
    // Ended but not yet reaped by this test: a zombie is not a running Firefox.
    EXPECT_EQ(0, FindFirefoxProcess(paths));
    EXPECT_EQ(0, FindFirefoxProcess(FirefoxPaths{paths.exePath, ""}));
}

TEST_F(ProcessControlTest, AFirefoxThatDoesNotEndIsReportedSo)
{
    StandIn stubborn("firefox-esr");
    ASSERT_TRUE(WaitForFile("ready"));
    ASSERT_EQ(stubborn.pid, FindFirefoxProcess(paths));
    EXPECT_FALSE(TerminateFirefoxAndWait(stubborn.pid, std::chrono::milliseconds(300)));
    EXPECT_TRUE(stubborn.Alive());
}

TEST_F(ProcessControlTest, StartLeavesNoChildBehind)
{
    ASSERT_TRUE(StartFirefox(paths));
    ASSERT_TRUE(WaitForFile("started"));
    EXPECT_NE(std::to_string(getpid()) + "\n", FirefoxWorld::home.ReadFile("parent"));
    errno = 0;
    EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);

    EXPECT_FALSE(StartFirefox({FirefoxWorld::home.File("bin/missing"), paths.prefsPath}));
}

TEST_F(ProcessControlTest, ReconcileEndsFirefoxThenRewritesThenStarts)
{
    StandIn running("firefox", {kSavedLine, FirefoxWorld::PrefsPath()});
    ASSERT_TRUE(WaitForFile("ready"));
    ASSERT_EQ(running.pid, FindFirefoxProcess(paths));
    ScriptedQuestion yes(true);
    ReconcileFirefoxAtStart(true, yes);

    EXPECT_EQ(std::vector<std::string>{kFirefoxReconcileQuestion}, yes.asked);
    EXPECT_EQ("Firefox'setting is not consistent,Do you want to close Firefox to change its setting?",
              std::string(kFirefoxReconcileQuestion));
    ASSERT_TRUE(WaitForFile("started"));
    // What Firefox saved while shutting down is in the backup and survives the
    // rewrite, and the new Firefox starts with the rewritten prefs.
    const std::string expected = "user_pref(\"a\", 1);\r\n" + kSavedLine + "\n";
    EXPECT_EQ(expected, FirefoxWorld::home.ReadFile("prefs-at-start"));
    EXPECT_EQ(expected, FirefoxWorld::Prefs());
    EXPECT_EQ("user_pref(\"a\", 1);\r\n" + kProxyTypeLine + kSavedLine + "\n",
              FirefoxWorld::home.ReadFile(kProfile + "/prefs.js.bkp"));
}

TEST_F(ProcessControlTest, ReconcileAnsweredNoChangesNothing)
{
    StandIn running("firefox", {kSavedLine, FirefoxWorld::PrefsPath()});
    ASSERT_TRUE(WaitForFile("ready"));
    ScriptedQuestion no(false);
    ReconcileFirefoxAtStart(true, no);
    EXPECT_EQ(1u, no.asked.size());
    EXPECT_TRUE(running.Alive());
    EXPECT_EQ("user_pref(\"a\", 1);\r\n" + kProxyTypeLine, FirefoxWorld::Prefs());
    EXPECT_FALSE(fs::exists(FirefoxWorld::PrefsPath() + ".bkp"));
}

TEST_F(ProcessControlTest, ReconcileWithoutRunningFirefoxRewritesWithoutAsking)
{
    ScriptedQuestion yes(true);
    ReconcileFirefoxAtStart(false, yes);
    EXPECT_EQ("user_pref(\"a\", 1);\r\n" + kProxyTypeLine, FirefoxWorld::Prefs());

    ReconcileFirefoxAtStart(true, yes);
    EXPECT_TRUE(yes.asked.empty());
    EXPECT_EQ("user_pref(\"a\", 1);\r\n", FirefoxWorld::Prefs());
    EXPECT_FALSE(fs::exists(FirefoxWorld::home.File("started")));
}

}  // namespace
