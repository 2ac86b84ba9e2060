// bench_harvest: the first start at the scale of public lists. Five loopback
// sources hold 20,000 lines in all, duplicates and junk among them; 15% of
// the proxies relay after 300 ms, the rest accept a connection and never
// answer. velmora-service harvests them at its defaults, in a process of its
// own, and the benchmark prints the seconds to the first served proxy, to 90%
// of the working ones and to the end of the round, with the service's peak
// memory and CPU seconds. Targets at the defaults: first proxy within 5 s,
// 90% within 20 s, round within 60 s, peak < 300 MB.
//
//   bench_harvest [SERVICE OPTIONS]
//
// passes the options on to the service, e.g. --connect-timeout 0 to compare
// without a connect bound of its own. Run one at a time, a minute apart: the
// 17,000 ports and their connections' TIME_WAIT take most of the loopback
// ephemeral port range.
#include <httplib.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "countrylookup.h"
#include "crowdfixture.h"
#include "harvest.h"
#include "openfiles.h"
#include "sourcefetch.h"

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kSources = 5;
constexpr int kLines = 20000;
constexpr int kRelayPercent = 15;
constexpr int kRelayDelayMs = 300;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

enum class LineKind { Relay, Silent, Duplicate, Junk };

// What each line will be: about 8% duplicates of earlier lines and 4% junk;
// of the distinct proxies, 15% relay.
std::vector<LineKind> PlanLines()
{
    std::mt19937 random(20241209);
    std::vector<LineKind> plan;
    for (int i = 0; i < kLines; ++i) {
        const unsigned roll = random() % 100;
        if (roll < 4)
            plan.push_back(LineKind::Junk);
        else if (roll < 12 && i > 0)
            plan.push_back(LineKind::Duplicate);
        else
            plan.push_back(random() % 100 < kRelayPercent ? LineKind::Relay : LineKind::Silent);
    }
    return plan;
}

// Opens count loopback ports that listen but never accept: the kernel
// completes the TCP handshake and nothing answers the SOCKS request. They
// live in a child process of their own, so that the benchmark's descriptors
// stay within the open-file limit. Returns the ports; the child ends when
// control is closed.
std::vector<int> OpenSilentPorts(int count, int& control)
{
    int ports[2], hold[2];
    if (pipe(ports) != 0 || pipe(hold) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(ports[0]);
        close(hold[1]);
        RaiseOpenFileLimit(static_cast<rlim_t>(count) + 64);
        for (int i = 0; i < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            int port = 0;
            if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 4) == 0
                && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
                port = ntohs(address.sin_port);
            if (write(ports[1], &port, sizeof port) != sizeof port)
                _exit(1);
        }
        char byte;
        while (read(hold[0], &byte, 1) > 0) {
        }
        _exit(0);
    }
    close(ports[1]);
    close(hold[0]);
    control = hold[1];
    std::vector<int> opened;
    int port = 0;
    while (static_cast<int>(opened.size()) < count && read(ports[0], &port, sizeof port) == sizeof port && port > 0)
        opened.push_back(port);
    close(ports[0]);
    return opened;
}

struct RoundFigures {
    double firstServed = -1, ninetyPercent = -1, roundEnded = -1;
    int served = 0;
    long peakKb = 0;
    double cpuSeconds = 0;
};

int StatusValue(const std::string& status, const std::string& key)
{
    const size_t at = status.find("\n" + key + ": ");
    return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + key.size() + 3);
}

// Runs velmora-service on the sources with options beside its defaults and
// follows its status until the round has ended.
RoundFigures RunService(const std::vector<std::string>& urls, const std::string& target, int working,
                        const std::vector<std::string>& options, const std::string& logPath)
{
    const std::string portFile = logPath + ".port";
    std::remove(portFile.c_str());
    std::vector<std::string> arguments = {VELMORA_RUN_DIR "/velmora-service",
                                          "--port",
                                          "0",
                                          "--port-file",
                                          portFile,
                                          "--allow-private",
                                          "--test-target",
                                          target};
    for (const std::string& url : urls) {
        arguments.push_back("--source");
        arguments.push_back(url);
    }
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const auto start = Clock::now();
    RoundFigures figures;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::printf("cannot start %s\n", argv[0]);
        return figures;
    }
    posix_spawn_file_actions_destroy(&actions);

    int port = 0;
    while (port == 0 && Since(start) < 30) {
        FILE* file = std::fopen(portFile.c_str(), "r");
        if (file) {
            if (std::fscanf(file, "%d", &port) != 1)
                port = 0;
            std::fclose(file);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    httplib::Client client("127.0.0.1", port);
    while (port > 0 && Since(start) < 180) {
        const auto answer = client.Get("/velmora/status");
        if (answer && answer->status == 200) {
            const std::string status = "\n" + answer->body;
            figures.served = StatusValue(status, "served");
            if (figures.served > 0 && figures.firstServed < 0)
                figures.firstServed = Since(start);
            if (figures.served * 10 >= working * 9 && figures.ninetyPercent < 0)
                figures.ninetyPercent = Since(start);
            if (StatusValue(status, "rounds") >= 1) {
                figures.roundEnded = Since(start);
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    int wstatus = 0;
    rusage usage{};
    wait4(pid, &wstatus, 0, &usage);
    figures.peakKb = usage.ru_maxrss;
    figures.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return figures;
}

void Print(const char* label, const RoundFigures& f, int working, bool judge)
{
    std::printf("%s: first proxy served %.1f s, 90%% of the working %.1f s, round ended %.1f s; %d of %d working "
                "served; peak %.0f MB, CPU %.1f s\n",
                label, f.firstServed, f.ninetyPercent, f.roundEnded, f.served, working, f.peakKb / 1024.0,
                f.cpuSeconds);
    if (judge) {
        const bool met = f.firstServed >= 0 && f.firstServed <= 5 && f.ninetyPercent >= 0 && f.ninetyPercent <= 20
                         && f.roundEnded >= 0 && f.roundEnded <= 60 && f.peakKb < 300 * 1024;
        std::printf("targets (first <= 5 s, 90%% <= 20 s, round <= 60 s, peak < 300 MB): %s\n", met ? "met" : "MISSED");
    }
}
}  // namespace

int main(int argc, char** argv)
{
    const std::vector<LineKind> plan = PlanLines();
    int silentCount = 0, relayCount = 0;
    for (LineKind kind : plan) {
        silentCount += kind == LineKind::Silent;
        relayCount += kind == LineKind::Relay;
    }
    // Before any thread starts: the silent ports' process is a fork.
    int holdSilent = -1;
    const std::vector<int> silentPorts = OpenSilentPorts(silentCount, holdSilent);
    if (static_cast<int>(silentPorts.size()) != silentCount) {
        std::printf("could open only %zu of %d silent ports\n", silentPorts.size(), silentCount);
        return 1;
    }
    RaiseOpenFileLimit(static_cast<rlim_t>(relayCount) * 3 + 256);
    CrowdFixture crowd;
    const int page = crowd.AddPage();
    std::vector<std::string> lists(kSources), lines;
    std::mt19937 random(7);
    size_t nextSilent = 0;
    int junk = 0, duplicates = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        std::string line;
        switch (plan[i]) {
        case LineKind::Relay:
            line = "127.0.0.1:" + std::to_string(crowd.AddProxy(CrowdFixture::Kind::Relay, kRelayDelayMs));
            break;
        case LineKind::Silent: line = "127.0.0.1:" + std::to_string(silentPorts[nextSilent++]); break;
        case LineKind::Duplicate:
            line = lines.empty() ? "# no proxy yet" : lines[random() % lines.size()];
            ++duplicates;
            break;
        case LineKind::Junk:
            line = i % 2 ? "<html>not a list</html>" : "socks4://300.1.2.3:1080";
            ++junk;
            break;
        }
        if (plan[i] == LineKind::Relay || plan[i] == LineKind::Silent)
            lines.push_back(line);
        lists[i % kSources] += line + "\n";
    }

    std::vector<std::unique_ptr<httplib::Server>> servers;
    std::vector<std::thread> threads;
    std::vector<std::string> urls;
    for (const std::string& list : lists) {
        auto server = std::make_unique<httplib::Server>();
        server->Get("/list.txt", [&list](const httplib::Request&, httplib::Response& res) {
            res.set_content(list, "application/octet-stream");
        });
        const int port = server->bind_to_any_port("127.0.0.1");
        urls.push_back("http://127.0.0.1:" + std::to_string(port) + "/list.txt");
        threads.emplace_back([raw = server.get()] { raw->listen_after_bind(); });
        servers.push_back(std::move(server));
    }
    std::printf("bench_harvest: %d lines from %d loopback sources: %d relaying after %d ms, %d silent, %d duplicate "
                "lines, %d junk lines\n",
                kLines, kSources, relayCount, kRelayDelayMs, silentCount, duplicates, junk);

    const auto fetchStart = Clock::now();
    CountryLookup countries;
    HarvestCounts counts;
    const CProxyList merged = MergeSources(FetchSources(urls, SourceLimits()), true, countries, counts);
    std::printf("fetch + merge of the five sources in-process: %.0f ms, %zu distinct proxies\n",
                Since(fetchStart) * 1000, merged.size());

    const std::string target = "http://127.0.0.1:" + std::to_string(page) + "/|engine|";
    const std::vector<std::string> options(argv + 1, argv + argc);
    std::string label = "velmora-service";
    for (const std::string& option : options)
        label += " " + option;
    if (options.empty())
        label += " at its defaults (threads 1000, timeout 10, connect-timeout 5)";
    const std::string log = "/tmp/bench_harvest-service.log";
    Print(label.c_str(), RunService(urls, target, relayCount, options, log), relayCount, options.empty());
    std::printf("service log: %s\n", log.c_str());

    for (auto& server : servers)
        server->stop();
    for (std::thread& thread : threads)
        thread.join();
    close(holdSilent);
    wait(nullptr);
    return 0;
}
