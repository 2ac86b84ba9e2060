#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "enginetestharness.h"
#include "support/tempdir.h"

extern char** environ;

namespace {

// velmora-check run as a child process with its output captured.
class CheckTool {
public:
    CheckTool(std::vector<std::string> args, const std::string& workDir, const std::string& input = "/dev/null")
    {
        const char* runDir = std::getenv("VELMORA_RUN_DIR");
        args.insert(args.begin(), std::string(runDir ? runDir : VELMORA_TOOLS_DIR) + "/velmora-check");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2], err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addchdir_np(&files, workDir.c_str());
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&files, err[1], STDERR_FILENO);
        EXPECT_EQ(posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        close(out[1]);
        close(err[1]);
        outFd = out[0];
        errFd = err[0];
    }

    void Interrupt() { kill(pid, SIGINT); }

    // Collects both outputs and returns the exit status (-1 for a signal).
    int Finish()
    {
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        std::string* sinks[2] = {&out, &err};
        for (int open = 2; open > 0;) {
            poll(fds, 2, -1);
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !fds[i].revents)
                    continue;
                char buffer[4096];
                const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    sinks[i]->append(buffer, static_cast<size_t>(got));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string out, err;

private:
    pid_t pid = -1;
    int outFd = -1, errFd = -1;
};

std::string ProxyLine(int port) { return "127.0.0.1\t" + std::to_string(port) + "\t3\t0\t0\t3600000\r\n"; }

struct CheckToolTest : ::testing::Test {
    EngineHarness harness;
    TempDir dir;
    std::string url = SocksFixture::PageUrl(harness.page);
};

TEST_F(CheckToolTest, WritesThePassedProxiesFastestFirstInTheProxyFileFormat)
{
    SocksBehaviour slow;
    slow.delayMs = 200;
    SocksBehaviour reject;
    reject.action = SocksBehaviour::Action::Reject;
    const int slowPort = harness.Socks(slow), fastPort = harness.Socks(), badPort = harness.Socks(reject);
    const std::string list = dir.WriteFile("list.txt", ProxyLine(slowPort) + ProxyLine(badPort) + ProxyLine(fastPort));

    CheckTool speed({"--url", url, "--expect", "ENGINE", "--timeout", "5", list}, dir.Path());
    ASSERT_EQ(speed.Finish(), 0) << speed.err;
    EXPECT_EQ(speed.err, "");  // no progress bar on a pipe
    const std::string fast = "127.0.0.1\t" + std::to_string(fastPort) + "\t3\t1\t5\t";
    const std::string slower = "127.0.0.1\t" + std::to_string(slowPort) + "\t3\t1\t5\t";
    ASSERT_EQ(speed.out.compare(0, fast.size(), fast), 0) << speed.out;
    const size_t second = speed.out.find("\r\n") + 2;
    EXPECT_EQ(speed.out.compare(second, slower.size(), slower), 0) << speed.out;
    EXPECT_EQ(speed.out.back(), '\n');
    EXPECT_EQ(std::count(speed.out.begin(), speed.out.end(), '\n'), 2);

    CheckTool table({"--availability", "--table", "--output", "passed.txt", "--url", url, "-"}, dir.Path(), list);
    ASSERT_EQ(table.Finish(), 0) << table.err;
    EXPECT_NE(table.out.find("Type"), std::string::npos);
    EXPECT_NE(table.out.find(std::to_string(fastPort) + "  3        Socks "), std::string::npos) << table.out;
    EXPECT_EQ(dir.ReadFile("passed.txt"), ProxyLine(slowPort) + ProxyLine(fastPort));  // fields kept
}

TEST_F(CheckToolTest, TakesTheTestTargetFromTheSettingsFile)
{
    dir.WriteFile("setting.nbx", "Test:\r\nTest Type\t2\r\nTest Thread Count\t5\r\nTest Timeout Second\t5\r\n"
                                 "Correct Value\tsearch engine\r\nURL\t" + url + "\r\n");
    const std::string list = dir.WriteFile("list.txt", ProxyLine(harness.Socks()));
    CheckTool check({"list.txt"}, dir.Path());
    ASSERT_EQ(check.Finish(), 0) << check.err;
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 1) << check.out;
}

TEST_F(CheckToolTest, BadInputGetsOneLineAndStatusTwo)
{
    const std::string good = dir.WriteFile("good.txt", ProxyLine(harness.Socks()));
    const std::string damaged = dir.WriteFile("damaged.txt", ProxyLine(1080) + "127.0.0.1\t1081\t-1\t0\r\n");
    const std::string gap = dir.WriteFile("gap.txt", ProxyLine(1080) + "\r\n" + ProxyLine(1081));
    const std::vector<std::vector<std::string>> cases = {
        {"--url", url, "missing.txt"},
        {"--url", url, damaged},
        {"--url", url, gap},
        {"--threads", "4", good},
        {"--timeout", "31", good},
        {"--threads", "many", good},
        {"--colour", good},
        {"--url", url},
    };
    for (const auto& args : cases) {
        CheckTool check(args, dir.Path());
        EXPECT_EQ(check.Finish(), 2) << args.front() << " " << args.back();
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), 1) << check.err;
        EXPECT_EQ(check.err.rfind("velmora-check: ", 0), 0u) << check.err;
    }
    CheckTool damagedLine({"--url", url, damaged}, dir.Path());
    damagedLine.Finish();
    EXPECT_NE(damagedLine.err.find("damaged.txt:2:"), std::string::npos) << damagedLine.err;
}

TEST_F(CheckToolTest, InterruptKeepsWhatPassedAndExits130)
{
    SocksBehaviour silent;
    silent.action = SocksBehaviour::Action::NeverAnswer;
    const int good = harness.Socks(), hanging = harness.Socks(silent);
    const std::string list = dir.WriteFile("list.txt", ProxyLine(good) + ProxyLine(hanging));

    CheckTool check({"--url", url, "--timeout", "30", list}, dir.Path());
    ASSERT_TRUE(harness.fixture.WaitForConnections(hanging, 6, 10000));
    ASSERT_TRUE(harness.fixture.WaitForConnections(good, 6, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the good job end
    check.Interrupt();
    EXPECT_EQ(check.Finish(), 130) << check.err;
    EXPECT_EQ(check.out.rfind("127.0.0.1\t" + std::to_string(good) + "\t3\t1\t5\t", 0), 0u) << check.out;
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 1);
}

TEST(CheckToolHelp, ShowsUsage)
{
    TempDir dir;
    CheckTool help({"--help"}, dir.Path());
    EXPECT_EQ(help.Finish(), 0);
    EXPECT_NE(help.out.find("Usage: velmora-check"), std::string::npos);
}

}  // namespace
