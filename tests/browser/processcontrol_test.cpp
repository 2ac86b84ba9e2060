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

// A temporary HOME with a profile, and PATH holding only a link to the
// Firefox of the install folder "install": a script that records the prefs it
// starts with and its parent, then touches "started". The running Firefox
// processes are copies of a stand-in program under Firefox's names in that
// folder, since a process is Firefox only when it runs a program there.
class FirefoxWorld : public ::testing::Environment {
public:
    void SetUp() override
    {
        Write("install/firefox", "#!/bin/sh\n"
                                 "cp \"$HOME/"
                                     + kProfile
                                     + "/prefs.js\" \"$HOME/prefs-at-start\"\n"
                                       "echo $PPID > \"$HOME/parent\"\n"
                                       "touch \"$HOME/started\"\n");
        fs::create_directories(home.File("bin"));
        fs::create_symlink(home.File("install/firefox"), home.File("bin/firefox"));
        for (const char* name : {"firefox-bin", "firefox-esr", "FIREFOX", "sleeper"})
            InstallStandIn(name);
        // A program of the user's that merely is called firefox.
        fs::create_directories(home.File("elsewhere"));
        fs::copy_file("/bin/sleep", home.File("elsewhere/firefox"));
        setenv("HOME", home.Path().c_str(), 1);
        setenv("PATH", (home.File("bin") + ":/usr/bin:/bin").c_str(), 1);
    }

    static void InstallStandIn(const std::string& name)
    {
        fs::copy_file(VELMORA_STANDIN_BROWSER, home.File("install/" + name), fs::copy_options::overwrite_existing);
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
    StandIn(const std::string& program, std::vector<std::string> args)
    {
        const std::string name = fs::path(program).filename().string();
        args.insert(args.begin(), program);
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
        // Wait until the new program runs under its own name with its
        // command line in place (exec sets the name before the arguments).
        for (int i = 0; i < 250 && pid > 0 && (Comm() != name || !HasCommandLine()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool HasCommandLine() const
    {
        std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline");
        return file.peek() != std::ifstream::traits_type::eof();
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

// A stand-in in the install folder, running a mode of standin_browser that
// touches "ready" once its signals are set up.
std::string Installed(const std::string& name)
{
    return FirefoxWorld::home.File("install/" + name);
}
std::string Ready()
{
    return FirefoxWorld::home.File("ready");
}

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

TEST_F(ProcessControlTest, OnlyTheFoundInstallsFirefoxIsFoundAndEnded)
{
    // A renamed sleep called firefox outside the install is never signalled,
    // nor programs in the install folder without one of Firefox's names.
    StandIn renamed(FirefoxWorld::home.File("elsewhere/firefox"), {"30"});
    StandIn other(Installed("sleeper"), {Ready(), "sleep"});
    StandIn upper(Installed("FIREFOX"), {Ready(), "sleep"});
    ASSERT_EQ("firefox", renamed.Comm());
    EXPECT_EQ(0, FindFirefoxProcess(paths));
    EXPECT_FALSE(TerminateFirefox(paths, renamed.pid));
    EXPECT_FALSE(TerminateFirefoxAndWait(paths, other.pid, std::chrono::milliseconds(100)));
    EXPECT_TRUE(renamed.Alive());
    EXPECT_TRUE(other.Alive());

    // Firefox's child processes run the same program; those of its fork
    // server have their arguments joined by spaces.
    StandIn child(Installed("firefox-bin"), {Ready(), "sleep", "-contentproc"});
    StandIn forked(Installed("firefox-bin"), {Ready(), "sleep", "-contentproc -isForBrowser"});
    EXPECT_EQ(0, FindFirefoxProcess(paths));

    StandIn firefox(Installed("firefox-bin"), {Ready(), "sleep"});
    ASSERT_GT(firefox.pid, 0);
    EXPECT_EQ(firefox.pid, FindFirefoxProcess(paths));
    EXPECT_TRUE(TerminateFirefox(paths, firefox.pid));
    // Ended but not yet reaped by this test: a zombie is not a running Firefox.
    EXPECT_EQ(0, FindFirefoxProcess(paths));
    EXPECT_EQ(0, FindFirefoxProcess(FirefoxPaths{paths.exePath, ""}));
    EXPECT_TRUE(renamed.Alive());
    EXPECT_TRUE(child.Alive() && forked.Alive());
}

TEST_F(ProcessControlTest, AFirefoxUpgradedWhileRunningIsStillFirefox)
{
    StandIn firefox(Installed("firefox-esr"), {Ready(), "sleep"});
    ASSERT_TRUE(WaitForFile("ready"));
    // The upgrade replaces the program file under the running process.
    fs::remove(Installed("firefox-esr"));
    FirefoxWorld::InstallStandIn("firefox-esr");
    const std::string program = fs::read_symlink("/proc/" + std::to_string(firefox.pid) + "/exe").string();
    ASSERT_EQ(Installed("firefox-esr") + " (deleted)", program);
    EXPECT_EQ(firefox.pid, FindFirefoxProcess(paths));
    EXPECT_TRUE(TerminateFirefox(paths, firefox.pid));
}

TEST_F(ProcessControlTest, AFirefoxThatDoesNotEndIsReportedSo)
{
    StandIn stubborn(Installed("firefox-esr"), {Ready(), "ignore-term"});
    ASSERT_TRUE(WaitForFile("ready"));
    ASSERT_EQ(stubborn.pid, FindFirefoxProcess(paths));
    EXPECT_FALSE(TerminateFirefoxAndWait(paths, stubborn.pid, std::chrono::milliseconds(300)));
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
    StandIn running(Installed("firefox-bin"), {Ready(), "save", kSavedLine, FirefoxWorld::PrefsPath()});
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
    StandIn running(Installed("firefox-bin"), {Ready(), "save", kSavedLine, FirefoxWorld::PrefsPath()});
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
