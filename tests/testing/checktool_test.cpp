#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "enginetestharness.h"
#include "support/tempdir.h"

extern char** environ;

namespace {

// velmora-check run as a child process with its output captured; launcher,
// when given, starts it (the tool's path and args follow the launcher's words).
class CheckTool {
public:
    CheckTool(std::vector<std::string> args, const std::string& workDir, const std::string& input = "/dev/null",
              const std::vector<std::string>& launcher = {})
    {
        const char* runDir = std::getenv("VELMORA_RUN_DIR");
        args.insert(args.begin(), std::string(runDir ? runDir : VELMORA_TOOLS_DIR) + "/velmora-check");
        args.insert(args.begin(), launcher.begin(), launcher.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int outPipe[2], errPipe[2];
        EXPECT_EQ(pipe2(outPipe, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(errPipe, O_CLOEXEC), 0);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addchdir_np(&files, workDir.c_str());
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&files, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&files, errPipe[1], STDERR_FILENO);
        EXPECT_EQ(posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        close(outPipe[1]);
        close(errPipe[1]);
        outFd = outPipe[0];
        errFd = errPipe[0];
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

std::string ProxyLine(int port)
{
    return "127.0.0.1\t" + std::to_string(port) + "\t3\t0\t0\t3600000\r\n";
}

struct CheckToolTest : ::testing::Test {
    EngineHarness harness;
    TempDir dir;
    std::string url = SocksFixture::PageUrl(harness.page);
};

TEST_F(CheckToolTest, WritesThePassedProxiesFastestFirstInTheProxyFileFormat)
{
    SocksBehaviour slow;
    slow.delayMs = 200;
    SocksBehaviour reject, socks5Only;
    reject.action = SocksBehaviour::Action::Reject;
    socks5Only.protocol = SocksBehaviour::Protocol::Socks5;
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

    // The availability check keeps the fields but the type, which says the versions that passed.
    const int socks5Port = harness.Socks(socks5Only);
    const std::string typed = dir.WriteFile("typed.txt", dir.ReadFile("list.txt") + ProxyLine(socks5Port));
    CheckTool table({"--availability", "--table", "--output", "passed.txt", "--url", url, "-"}, dir.Path(), typed);
    ASSERT_EQ(table.Finish(), 0) << table.err;
    EXPECT_NE(table.out.find("Type"), std::string::npos);
    EXPECT_NE(table.out.find(std::to_string(fastPort) + "  3        Socks4 "), std::string::npos) << table.out;
    EXPECT_NE(table.out.find(std::to_string(socks5Port) + "  3        Socks5 "), std::string::npos) << table.out;
    auto typedLine = [](int port, int type) {
        return "127.0.0.1\t" + std::to_string(port) + "\t3\t" + std::to_string(type) + "\t0\t3600000\r\n";
    };
    EXPECT_EQ(dir.ReadFile("passed.txt"), typedLine(slowPort, 1) + typedLine(fastPort, 1) + typedLine(socks5Port, 2));
}

TEST_F(CheckToolTest, TakesTheTestTargetFromTheSettingsFile)
{
    dir.WriteFile("setting.nbx", "Test:\r\nTest Type\t2\r\nTest Thread Count\t5\r\nTest Timeout Second\t5\r\n"
                                 "Correct Value\tsearch engine\r\nURL\t"
                                     + url + "\r\n");
    const std::string list = dir.WriteFile("list.txt", ProxyLine(harness.Socks()));
    CheckTool check({"list.txt"}, dir.Path());
    ASSERT_EQ(check.Finish(), 0) << check.err;
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 1) << check.out;
}

TEST_F(CheckToolTest, BadInputGetsOneLineAndStatusTwo)
{
    const std::string good = dir.WriteFile("good.txt", ProxyLine(harness.Socks()));
    const std::string junk = dir.WriteFile("junk.txt", "# only junk\r\n\r\nproxy.example:1080\r\n127.0.0.1:0\r\n");
    const std::vector<std::vector<std::string>> cases = {
        {"--url", url, "missing.txt"},
        {"--url", url, junk},
        {"--threads", "0", good},
        {"--threads", "1001", good},
        {"--timeout", "61", good},
        {"--threads", "many", good},
        {"--format", "xml", good},
        {"--colour", good},
        {"--url", url},
        {"--url", "file:///etc/hostname", good},
        {"--url", "gopher://127.0.0.1/", good},
    };
    for (const auto& args : cases) {
        CheckTool check(args, dir.Path());
        EXPECT_EQ(check.Finish(), 2) << args.front() << " " << args.back();
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), 1) << check.err;
        EXPECT_EQ(check.err.rfind("velmora-check: ", 0), 0u) << check.err;
    }
    CheckTool junkOnly({"--url", url, junk}, dir.Path());
    junkOnly.Finish();
    EXPECT_NE(junkOnly.err.find("no proxy in " + junk + ": skipped 2 lines that name no proxy (lines 3, 4)"),
              std::string::npos)
        << junkOnly.err;
}

// Every line form of public lists, a junk line in the middle: the junk is
// reported, the run goes on and every proxy is tested once.
TEST_F(CheckToolTest, ReadsEveryInputFormAndReportsJunkLines)
{
    const int a = harness.Socks(), b = harness.Socks(), c = harness.Socks(), d = harness.Socks();
    const std::string text = "\xEF\xBB\xBF# proxies from three sources\r\n" + ProxyLine(a)
                             + "\r\n127.0.0.1:" + std::to_string(b) + "\r\n  socks4://127.0.0.1:" + std::to_string(c)
                             + "  \r\nnot a proxy line\r\n" + "socks5://127.0.0.1:" + std::to_string(d)
                             + "\n\n   # indented comment\n127.0.0.1:" + std::to_string(a)
                             + "\n127.0.0.1:" + std::to_string(b);  // duplicates, the last without a line end
    dir.WriteFile("list.txt", text);
    CheckTool check({"--availability", "--format", "plain", "--url", url, "-"}, dir.Path(), dir.Path() + "/list.txt");
    ASSERT_EQ(check.Finish(), 0) << check.err;
    EXPECT_EQ(check.err, "velmora-check: standard input: skipped 1 line that name no proxy (line 6)\n");
    std::vector<std::string> lines;
    std::istringstream out(check.out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected;
    for (int port : {a, b, c, d})
        expected.push_back("127.0.0.1:" + std::to_string(port));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    for (int port : {a, b, c, d})
        EXPECT_EQ(harness.fixture.ConnectionCount(port), 2) << port;  // once through each version
}

TEST_F(CheckToolTest, WritesPlainAndJsonWithTheCountryCode)
{
    dir.WriteFile("countries.nbx", "AD\tAndorra\r\nAE\tEmirates\r\nAF\tAfghanistan\r\nDE\tGermany\r\n");
    const int port = harness.Socks();
    const std::string list = dir.WriteFile("list.txt", ProxyLine(port));

    CheckTool json({"--format", "json", "--url", url, list}, dir.Path());
    ASSERT_EQ(json.Finish(), 0) << json.err;
    const std::string object = "[\n  {\"address\": \"127.0.0.1\", \"port\": " + std::to_string(port)
                               + ", \"country\": \"DE\", \"type\": \"Socks4\", \"uptime\": 5, \"speedMs\": ";
    EXPECT_EQ(json.out.compare(0, object.size(), object), 0) << json.out;
    EXPECT_EQ(json.out.substr(json.out.size() - 4), "}\n]\n") << json.out;

    CheckTool plain({"--availability", "--format", "plain", "--output", "passed.txt", "--url", url, list}, dir.Path());
    ASSERT_EQ(plain.Finish(), 0) << plain.err;
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(dir.ReadFile("passed.txt"), "127.0.0.1:" + std::to_string(port) + "\n");
}

TEST_F(CheckToolTest, NoProxyPassingIsAnEmptyResultNotAnError)
{
    SocksBehaviour reject;
    reject.action = SocksBehaviour::Action::Reject;
    const std::string list = dir.WriteFile("list.txt", ProxyLine(harness.Socks(reject)));
    for (const char* format : {"list", "plain", "json"}) {
        CheckTool toOutput({"--format", format, "--url", url, list}, dir.Path());
        EXPECT_EQ(toOutput.Finish(), 0) << format << ": " << toOutput.err;
        EXPECT_EQ(toOutput.out, std::string(format) == "json" ? "[]\n" : "") << format;
        EXPECT_EQ(toOutput.err, "") << format;
    }
    dir.WriteFile("passed.txt", "old content");
    CheckTool toFile({"--availability", "--output", "passed.txt", "--url", url, list}, dir.Path());
    EXPECT_EQ(toFile.Finish(), 0) << toFile.err;
    EXPECT_EQ(toFile.err, "");
    EXPECT_EQ(dir.ReadFile("passed.txt"), "");
}

// Twenty speed-test jobs need about 190 descriptors: a soft limit of 64 is
// raised silently; a hard limit of 100 is reported and fewer jobs run.
TEST_F(CheckToolTest, RaisesTheOpenFileLimitOrSaysItIsTooLow)
{
    std::string text;
    std::vector<int> ports;
    for (int i = 0; i < 3; ++i) {
        ports.push_back(harness.Socks());
        text += ProxyLine(ports.back());
    }
    const std::string list = dir.WriteFile("list.txt", text);
    const std::vector<std::string> args = {"--threads", "20", "--format", "plain", "--url", url, list};
    auto launcher = [](const std::string& limit) {
        return std::vector<std::string>{"/bin/sh", "-c", limit + " && exec \"$0\" \"$@\""};
    };

    CheckTool raised(args, dir.Path(), "/dev/null", launcher("ulimit -Sn 64"));
    ASSERT_EQ(raised.Finish(), 0) << raised.err;
    EXPECT_EQ(raised.err, "");
    EXPECT_EQ(std::count(raised.out.begin(), raised.out.end(), '\n'), 3) << raised.out;

    CheckTool tooLow(args, dir.Path(), "/dev/null", launcher("ulimit -n 100"));
    ASSERT_EQ(tooLow.Finish(), 0) << tooLow.err;
    EXPECT_NE(tooLow.err.find("the open-file limit is 100 (hard limit 100), too low for --threads 20"),
              std::string::npos)
        << tooLow.err;
    EXPECT_EQ(std::count(tooLow.out.begin(), tooLow.out.end(), '\n'), 3) << tooLow.out;
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
