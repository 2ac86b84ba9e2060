// velmora-check at the width of a public proxy list: 5,000 loopback proxies
// (1,500 that relay after 200 ms, 3,000 that never answer, 500 whose port
// refuses connections), 1,000 jobs at once, 5 s timeout; the speed test and
// the availability check, then Debian's proxycheck over the same proxies with
// as many proxies under test at once as the availability check, and the same
// fetches on bare libcurl (bare_curl_check). Prints wall time against the
// ideal, CPU per fetch and peak memory.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "crowdfixture.h"

extern char** environ;

namespace {
using Kind = CrowdFixture::Kind;
using Clock = std::chrono::steady_clock;

constexpr int kRelays = 1500, kSilent = 3000, kRefusing = 500;
constexpr int kRelayDelayMs = 200;
constexpr int kTimeoutSeconds = 5;
constexpr int kThreads = 1000;
constexpr int kBatch = 5;           // proxies per availability job
constexpr int kSpeedTransfers = 6;  // five SOCKS4 fetches and the SOCKS5 probe

struct Proxy {
    int port;
    Kind kind;
};

// How long one proxy holds its slot at best: the relay's delay, the whole
// timeout for a silent one, nothing for a refused connection.
double IdealSeconds(Kind kind)
{
    return kind == Kind::Relay ? kRelayDelayMs / 1000.0 : kind == Kind::Silent ? kTimeoutSeconds : 0.0;
}

// The larger of the longest job and the slot-seconds shared by the slots.
double IdealWall(const std::vector<Proxy>& proxies, int perJob, int slots)
{
    double longest = 0, total = 0;
    for (size_t i = 0; i < proxies.size(); i += perJob) {
        double job = 0;
        for (size_t j = i; j < std::min(proxies.size(), i + perJob); ++j)
            job = std::max(job, IdealSeconds(proxies[j].kind));
        longest = std::max(longest, job);
        total += job;
    }
    return std::max(longest, total / slots);
}

std::string ToolPath(const char* name)
{
    const char* dir = std::getenv("VELMORA_RUN_DIR");
    return std::string(dir && *dir ? dir : VELMORA_TOOLS_DIR) + "/" + name;
}

std::string BenchPath(const char* name)
{
    return std::string(VELMORA_BENCH_DIR) + "/" + name;
}

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

struct Measure {
    bool ran = false;
    double wall = 0, cpu = 0, peakMiB = 0;
    int passed = 0;
};

// Runs args with standard output into outFile and counts its lines that contain marker.
Measure Run(std::vector<std::string> args, const std::string& outFile, const std::string& marker)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Measure measure;
    pid_t pid = -1;
    const auto start = Clock::now();
    const bool spawned = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    if (!spawned || wait4(pid, &status, 0, &usage) != pid)
        return measure;
    measure.ran = true;
    measure.wall = std::chrono::duration<double>(Clock::now() - start).count();
    measure.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    measure.peakMiB = usage.ru_maxrss / 1024.0;
    std::ifstream out(outFile);
    for (std::string line; std::getline(out, line);)
        measure.passed += line.find(marker) != std::string::npos;
    return measure;
}

void Print(const char* what, const Measure& m, double ideal, int fetches)
{
    if (!m.ran) {
        std::printf("%-26s did not run\n", what);
        return;
    }
    std::printf("%-26s passed %4d  wall %6.2f s  ideal %5.2f s  ratio %.3f  cpu %6.2f s = %.3f ms/fetch"
                "  peak %6.1f MB\n",
                what, m.passed, m.wall, ideal, m.wall / ideal, m.cpu, m.cpu * 1000 / fetches, m.peakMiB * 1.048576);
}

// The proxies live in a child process of their own: relays need three
// descriptors a connection, and the page's side of each must fit as well.
pid_t StartProxies(std::vector<Proxy>& proxies)
{
    int ready[2], stop[2];
    if (pipe(ready) != 0 || pipe(stop) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        close(stop[1]);
        CrowdFixture fixture;
        std::string ports;
        for (auto [kind, count] : {std::pair{Kind::Relay, kRelays}, {Kind::Silent, kSilent}, {Kind::Refuse, kRefusing}})
            for (int i = 0; i < count; ++i)
                ports += std::to_string(fixture.AddProxy(kind, kind == Kind::Relay ? kRelayDelayMs : 0)) + " "
                         + std::to_string(static_cast<int>(kind)) + "\n";
        ports += "ready\n";
        (void)!write(ready[1], ports.data(), ports.size());
        close(ready[1]);
        char byte;
        (void)!read(stop[0], &byte, 1);  // until the parent closes its end
        _exit(0);
    }
    close(ready[1]);
    close(stop[0]);
    FILE* in = fdopen(ready[0], "r");
    int port, kind;
    while (in && std::fscanf(in, "%d %d", &port, &kind) == 2)
        proxies.push_back({port, static_cast<Kind>(kind)});
    if (in)
        std::fclose(in);
    return child;
}
}  // namespace

int main()
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<Proxy> proxies;
    const pid_t fixture = StartProxies(proxies);
    const auto zeroPort = std::find_if(proxies.begin(), proxies.end(), [](const Proxy& p) { return p.port == 0; });
    if (fixture < 0 || proxies.size() != size_t(kRelays + kSilent + kRefusing) || zeroPort != proxies.end()) {
        std::fprintf(stderr, "the fixture proxies did not come up (open-file limit %llu)\n",
                     static_cast<unsigned long long>(limit.rlim_cur));
        return 1;
    }
    CrowdFixture pageFixture;
    const int page = pageFixture.AddPage();
    const std::string url = "http://127.0.0.1:" + std::to_string(page) + "/";

    char dir[] = "/tmp/velmora-bench-wide-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string listFile = std::string(dir) + "/proxies.txt", outFile = std::string(dir) + "/out.txt";
    {
        std::ofstream list(listFile);
        for (const Proxy& proxy : proxies)
            list << "127.0.0.1:" << proxy.port << "\n";
    }
    const int count = static_cast<int>(proxies.size());
    std::printf("%d loopback proxies: %d relay after %d ms, %d silent, %d refuse; --threads %d, --timeout %d\n", count,
                kRelays, kRelayDelayMs, kSilent, kRefusing, kThreads, kTimeoutSeconds);
    std::printf("targets: wall <= 1.15 x ideal, CPU per fetch <= proxycheck's, peak memory < 150 MB\n");

    const std::vector<std::string> check = {ToolPath("velmora-check"),
                                            "--threads",
                                            std::to_string(kThreads),
                                            "--timeout",
                                            std::to_string(kTimeoutSeconds),
                                            "--url",
                                            url,
                                            "--format",
                                            "plain"};
    std::vector<std::string> speedArgs = check, availabilityArgs = check;
    speedArgs.push_back(listFile);
    availabilityArgs.push_back("--availability");
    availabilityArgs.push_back(listFile);

    const Measure speed = Run(speedArgs, outFile, "127.0.0.1:");
    Print("velmora-check speed", speed, IdealWall(proxies, 1, kThreads), count * kSpeedTransfers);
    sleep(1);  // let the fixture see the last clients leave
    const Measure availability = Run(availabilityArgs, outFile, "127.0.0.1:");
    const double availabilityIdeal = IdealWall(proxies, kBatch, kThreads);
    Print("velmora-check availability", availability, availabilityIdeal, count);
    sleep(1);

    // The floor libcurl sets: the same fetches, all at once, with nothing of
    // the engine around them.
    const Measure bare =
        Run({BenchPath("bare_curl_check"), url, std::to_string(kTimeoutSeconds), listFile}, outFile, "127.0.0.1:");
    Print("bare libcurl, all at once", bare, IdealWall(proxies, 1, count), count);
    sleep(1);

    // proxycheck probes one proxy per connection: as many at once as the
    // availability check tests (its jobs times five proxies).
    const int connections = kThreads * kBatch;
    std::string ports;
    for (const Proxy& proxy : proxies)
        ports += (ports.empty() ? "" : ",") + std::to_string(proxy.port);
    const Measure proxycheck =
        Run({"proxycheck", "-d", "127.0.0.1:" + std::to_string(page), "-c", "chat:GET / HTTP/1.0\r\n:engine", "-t",
             std::to_string(kTimeoutSeconds), "-m", std::to_string(connections), "-p", "s4:" + ports, "127.0.0.1"},
            outFile, " open");
    Print(("proxycheck -m " + std::to_string(connections)).c_str(), proxycheck, IdealWall(proxies, 1, connections),
          count);
    if (proxycheck.ran && availability.ran && proxycheck.cpu > 0 && proxycheck.wall > 0)
        std::printf("velmora-check availability / proxycheck: wall %.2f, CPU per fetch %.2f, peak memory %.2f\n",
                    availability.wall / proxycheck.wall, availability.cpu / proxycheck.cpu,
                    availability.peakMiB / proxycheck.peakMiB);
    if (bare.ran && availability.ran && bare.cpu > 0)
        std::printf("velmora-check availability / bare libcurl: CPU per fetch %.2f; bare libcurl / proxycheck: %.2f\n",
                    availability.cpu / bare.cpu, proxycheck.ran ? bare.cpu / proxycheck.cpu : 0.0);
    else if (!proxycheck.ran)
        std::printf("proxycheck is not installed (apt-get install proxycheck)\n");

    kill(fixture, SIGTERM);
    waitpid(fixture, nullptr, 0);
    unlink(listFile.c_str());
    unlink(outFile.c_str());
    rmdir(dir);
    return 0;
}
