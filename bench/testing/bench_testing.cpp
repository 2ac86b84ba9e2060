// Speed test over 500 fixture SOCKS4 proxies on loopback, each adding 200 ms
// before it relays, with 10 threads: ideally ceil(500 / 10) x 0.2 s = 10 s.
// Runs the engine in this process, then the same list through velmora-check.
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "data/proxyfile.h"
#include "settings/setting.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

extern char** environ;

namespace {
constexpr int kProxies = 500;
constexpr int kThreads = 10;
constexpr int kDelayMs = 200;

using Clock = std::chrono::steady_clock;

std::string ToolPath(const char* name)
{
    const char* dir = std::getenv("VELMORA_RUN_DIR");
    return std::string(dir && *dir ? dir : VELMORA_TOOLS_DIR) + "/" + name;
}

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}
double CpuSeconds(const rusage& u)
{
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

pid_t Spawn(std::vector<std::string> args, int stdoutFd)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&files, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

void Report(const char* what, double wall, double cpu, long maxRssKiB, size_t passed)
{
    const double ideal = std::ceil(double(kProxies) / kThreads) * kDelayMs / 1000.0;
    std::printf("%-14s passed %zu/%d  wall %.2f s  ideal %.1f s  ratio %.3f  cpu %.2f s  peak rss %.1f MiB\n", what,
                passed, kProxies, wall, ideal, wall / ideal, cpu, maxRssKiB / 1024.0);
}
}  // namespace

int main()
{
    // 500 listening sockets live in the fixture; here up to 60 transfers at once.
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }

    char dir[] = "/tmp/velmora-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string listFile = std::string(dir) + "/proxies.txt";
    const std::string outFile = std::string(dir) + "/passed.txt";

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    const pid_t fixture = Spawn({ToolPath("velmora-socks-fixture"), "--page", "--proxy",
                                 std::to_string(kProxies) + "*relay:delay=" + std::to_string(kDelayMs), "--list",
                                 listFile, "--seconds", "300"},
                                pipeFds[1]);
    close(pipeFds[1]);
    if (fixture < 0) {
        std::fprintf(stderr, "cannot start %s\n", ToolPath("velmora-socks-fixture").c_str());
        return 1;
    }
    FILE* fixtureOut = fdopen(pipeFds[0], "r");
    std::string pageUrl;
    char line[256];
    while (fgets(line, sizeof line, fixtureOut) && std::strcmp(line, "ready\n") != 0)
        if (std::strncmp(line, "page ", 5) == 0)
            pageUrl.assign(line + 5, std::strcspn(line + 5, "\n"));

    CSettingTestItem settings;
    settings.threadCount = kThreads;
    settings.timeoutSeconds = 20;
    settings.testUrl = pageUrl.c_str();
    settings.correctValue = "engine";
    CProxyList list;
    if (pageUrl.empty() || !ReadProxyFile(list, listFile, true)) {
        std::fprintf(stderr, "the fixture did not come up\n");
        kill(fixture, SIGTERM);
        return 1;
    }

    std::printf("speed test: %d proxies, %d threads, %d ms added per relay, 6 fetches per proxy\n", kProxies, kThreads,
                kDelayMs);
    CTestSpeedWorker worker(kThreads, &settings);
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    auto start = Clock::now();
    RunTest(worker, list, nullptr);
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    Report("in process", wall, CpuSeconds(after) - CpuSeconds(before), after.ru_maxrss, list.size());

    start = Clock::now();
    const pid_t check = Spawn({ToolPath("velmora-check"), "--threads", std::to_string(kThreads), "--url", pageUrl,
                               "--output", outFile, listFile},
                              -1);
    int status = 0;
    rusage child{};
    if (check < 0 || wait4(check, &status, 0, &child) != check) {
        std::fprintf(stderr, "cannot run velmora-check\n");
    } else {
        wall = std::chrono::duration<double>(Clock::now() - start).count();
        CProxyList passed;
        ReadProxyFile(passed, outFile, true);
        Report("velmora-check", wall, CpuSeconds(child), child.ru_maxrss, passed.size());
    }

    kill(fixture, SIGTERM);
    waitpid(fixture, &status, 0);
    fclose(fixtureOut);
    unlink(listFile.c_str());
    unlink(outFile.c_str());
    rmdir(dir);
    return 0;
}
