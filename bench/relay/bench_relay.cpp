// bench_relay: the local SOCKS relay (velmora-relay, a process of its own)
// in front of a loopback SOCKS5 fixture proxy, against the same proxy
// straight: a 1 GiB download, the set-up time of 2,000 connections one
// after another, 1,000 connections open at once, the relay's CPU time per
// GiB and its peak memory. Loopback only; ends within two minutes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "socksfixture.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr uint64_t kTransfer = 1ull << 30;
constexpr int kSequential = 2000;
constexpr int kConcurrent = 1000;
constexpr size_t kChunk = 256 * 1024;
constexpr int kRounds = 3;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

int Listen(int& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4096) != 0)
        return -1;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// The far end, on one epoll thread: "P" is answered with "p" (a round trip);
// "T" and 8 bytes of length with that many bytes, then the end of data.
class Source {
public:
    Source() : listenFd_(Listen(port_)), epoll_(epoll_create1(EPOLL_CLOEXEC)), thread_([this] { Serve(); }) {}
    ~Source()
    {
        stop_ = true;
        thread_.join();
        for (auto& entry : connections_)
            close(entry.first);
        close(listenFd_);
        close(epoll_);
    }
    int Port() const { return port_; }

private:
    struct Connection {
        std::string in;
        uint64_t left = 0;
    };

    void Serve()
    {
        epoll_event event{EPOLLIN, {}};
        event.data.fd = listenFd_;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, listenFd_, &event);
        std::vector<char> data(kChunk, 'x');
        epoll_event ready[256];
        while (!stop_) {
            const int count = epoll_wait(epoll_, ready, 256, 100);
            for (int i = 0; i < count; ++i) {
                const int fd = ready[i].data.fd;
                if (fd == listenFd_) {
                    int client;
                    while ((client = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                        connections_[client] = Connection();
                        epoll_event in{EPOLLIN, {}};
                        in.data.fd = client;
                        epoll_ctl(epoll_, EPOLL_CTL_ADD, client, &in);
                    }
                    continue;
                }
                Connection& connection = connections_[fd];
                if (connection.left > 0) {
                    ssize_t sent;
                    while (connection.left > 0
                           && (sent = send(fd, data.data(), std::min<uint64_t>(kChunk, connection.left), MSG_NOSIGNAL))
                                  > 0)
                        connection.left -= static_cast<uint64_t>(sent);
                    if (connection.left == 0) {
                        shutdown(fd, SHUT_WR);
                        epoll_event in{EPOLLIN, {}};
                        in.data.fd = fd;
                        epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &in);
                    }
                    continue;
                }
                char buffer[64];
                const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    close(fd);
                    connections_.erase(fd);
                    continue;
                }
                connection.in.append(buffer, static_cast<size_t>(got));
                if (connection.in[0] == 'P') {
                    (void)!send(fd, "p", 1, MSG_NOSIGNAL);
                    connection.in.clear();
                } else if (connection.in.size() >= 9) {
                    std::memcpy(&connection.left, connection.in.data() + 1, 8);
                    epoll_event out{EPOLLOUT, {}};
                    out.data.fd = fd;
                    epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &out);
                }
            }
        }
    }

    int port_ = 0;
    int listenFd_;
    int epoll_;
    std::atomic<bool> stop_{false};
    std::map<int, Connection> connections_;
    std::thread thread_;
};

bool ReadExactly(int fd, char* out, size_t count)
{
    while (count > 0) {
        const ssize_t got = recv(fd, out, count, 0);
        if (got <= 0)
            return false;
        out += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

// A SOCKS5 connection to 127.0.0.1:target through the SOCKS5 server on
// socksPort, the way a browser opens one: greeting, answer, request, answer.
int Socks5Connect(int socksPort, int target)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout = {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(socksPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char request[] = {5, 1, 0, 1, 127, 0, 0, 1, static_cast<char>(target >> 8), static_cast<char>(target & 255)};
    char answer[10];
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || send(fd, "\x05\x01\x00", 3, MSG_NOSIGNAL) != 3 || !ReadExactly(fd, answer, 2) || answer[1] != 0
        || send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request || !ReadExactly(fd, answer, 10)
        || answer[1] != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Set-up time: SOCKS5 connect plus one round trip to the target.
double SetUpSeconds(int socksPort, int target, bool& ok)
{
    const auto start = Clock::now();
    const int fd = Socks5Connect(socksPort, target);
    char pong = 0;
    ok = fd >= 0 && send(fd, "P", 1, MSG_NOSIGNAL) == 1 && ReadExactly(fd, &pong, 1) && pong == 'p';
    const double seconds = Seconds(Clock::now() - start);
    if (fd >= 0)
        close(fd);
    return seconds;
}

double Throughput(int socksPort, int target)
{
    const int fd = Socks5Connect(socksPort, target);
    if (fd < 0)
        return 0;
    char command[9] = {'T'};
    std::memcpy(command + 1, &kTransfer, 8);
    std::vector<char> buffer(kChunk);
    uint64_t received = 0;
    const auto start = Clock::now();
    send(fd, command, sizeof command, MSG_NOSIGNAL);
    ssize_t got;
    while ((got = recv(fd, buffer.data(), buffer.size(), 0)) > 0)
        received += static_cast<uint64_t>(got);
    const double seconds = Seconds(Clock::now() - start);
    close(fd);
    return received == kTransfer ? kTransfer / seconds / 1e6 : 0;
}

int ConcurrentErrors(int socksPort, int target)
{
    std::vector<int> open;
    int errors = 0;
    for (int i = 0; i < kConcurrent; ++i) {
        const int fd = Socks5Connect(socksPort, target);
        char pong = 0;
        if (fd < 0 || send(fd, "P", 1, MSG_NOSIGNAL) != 1 || !ReadExactly(fd, &pong, 1))
            ++errors;
        if (fd >= 0)
            open.push_back(fd);
    }
    for (int fd : open)  // all still there
        if (send(fd, "P", 1, MSG_NOSIGNAL) != 1)
            ++errors;
    for (int fd : open)
        close(fd);
    return errors;
}

struct Relay {
    pid_t pid = -1;
    int port = 0;
};

Relay StartRelay(int upstream)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const std::string argument = "127.0.0.1:" + std::to_string(upstream) + ":2";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(VELMORA_RUN_DIR "/velmora-relay", "velmora-relay", "--port", "0", "--upstream", argument.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char line[128] = {};
    const ssize_t got = read(out[0], line, sizeof line - 1);
    close(out[0]);
    const char* colon = got > 0 ? std::strrchr(line, ':') : nullptr;
    return {pid, colon ? std::atoi(colon + 1) : 0};
}

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    if (end == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    size_t at = end + 2;
    while (at < text.size() && fields.size() < 13) {
        const size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        at = space + 1;
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return fields.size() == 13 ? (std::stod(fields[11]) + std::stod(fields[12])) / ticks : 0;
}

long PeakRssKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

double Percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * (values.size() - 1))];
}

double SelfCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main()
{
    alarm(115);  // bounded, whatever happens
    setvbuf(stdout, nullptr, _IOLBF, 0);
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    signal(SIGPIPE, SIG_IGN);

    Source source;
    SocksFixture fixture;  // a thread per connection: the same cost on both paths
    SocksBehaviour socks5;
    socks5.protocol = SocksBehaviour::Protocol::Socks5;
    const int proxy = fixture.AddSocks(socks5);
    const Relay relay = StartRelay(proxy);
    if (relay.port == 0) {
        std::fprintf(stderr, "bench_relay: velmora-relay did not start\n");
        return 1;
    }
    std::printf("bench_relay: velmora-relay (pid %d) on 127.0.0.1:%d before a SOCKS5 fixture proxy on :%d; "
                "open-file limit %llu\n",
                static_cast<int>(relay.pid), relay.port, proxy, static_cast<unsigned long long>(files.rlim_cur));

    // The best of three rounds each, alternating: other load on the
    // machine slows single transfers at random.
    double direct = 0, relayed = 0, directCpu = 1e9, relayedCpu = 1e9, relayCpu = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        double cpuBefore = SelfCpuSeconds();
        direct = std::max(direct, Throughput(proxy, source.Port()));
        directCpu = std::min(directCpu, SelfCpuSeconds() - cpuBefore);
        const double relayCpuBefore = CpuSeconds(relay.pid);
        cpuBefore = SelfCpuSeconds();
        relayed = std::max(relayed, Throughput(relay.port, source.Port()));
        relayedCpu = std::min(relayedCpu, SelfCpuSeconds() - cpuBefore);
        relayCpu = std::min(relayCpu, CpuSeconds(relay.pid) - relayCpuBefore);
    }
    std::printf("1 GiB download, best of %d: direct %.0f MB/s, through the relay %.0f MB/s: %.0f%% (target >= "
                "90%%)\n",
                kRounds, direct, relayed, direct > 0 ? 100 * relayed / direct : 0.0);
    std::printf("CPU per GiB: the relay %.2f s; the bench process (client, proxy, source) %.2f s direct, %.2f s "
                "relayed\n",
                relayCpu, directCpu, relayedCpu);

    // Interleaved, so that both paths meet the same socket tables (the
    // relay reads them for every connection it accepts).
    std::vector<double> straight, through;
    int failed = 0;
    for (int i = 0; i < kSequential; ++i) {
        bool ok = false;
        straight.push_back(SetUpSeconds(proxy, source.Port(), ok));
        failed += !ok;
        through.push_back(SetUpSeconds(relay.port, source.Port(), ok));
        failed += !ok;
    }
    const double added = (Percentile(through, 0.5) - Percentile(straight, 0.5)) * 1e3;
    std::printf("set-up of %d connections one after another: median %.3f ms direct, %.3f ms relayed: %+.3f ms "
                "(target <= 1 ms); p99 %.3f ms direct, %.3f ms relayed; %d failed\n",
                kSequential, Percentile(straight, 0.5) * 1e3, Percentile(through, 0.5) * 1e3, added,
                Percentile(straight, 0.99) * 1e3, Percentile(through, 0.99) * 1e3, failed);

    // Direct first: the fixture serves at most 1,024 connections at once,
    // and its threads take a moment to end after their clients have gone.
    const auto directStart = Clock::now();
    const int directErrors = ConcurrentErrors(proxy, source.Port());
    const double directSeconds = Seconds(Clock::now() - directStart);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto concurrentStart = Clock::now();
    const int errors = ConcurrentErrors(relay.port, source.Port());
    const double concurrentSeconds = Seconds(Clock::now() - concurrentStart);
    std::printf("%d connections opened one by one and held: %d errors through the relay (target 0), in %.2f s; "
                "%d errors direct, in %.2f s\n",
                kConcurrent, errors, concurrentSeconds, directErrors, directSeconds);
    const long peakKb = PeakRssKb(relay.pid);
    std::printf("the relay's peak memory (VmHWM): %.1f MB (target < 50 MB)\n", peakKb / 1024.0);

    kill(relay.pid, SIGTERM);
    int status = 0;
    waitpid(relay.pid, &status, 0);
    const bool met =
        direct > 0 && relayed >= 0.9 * direct && added <= 1.0 && errors == 0 && failed == 0 && peakKb < 50 * 1024;
    std::printf("velmora-relay ended %s; targets %s\n",
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "cleanly" : "badly", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
