// velmora-socks-fixture: scripted SOCKS proxies and a test page on loopback,
// for the benchmark and the demo. Prints what it opened, then serves until
// SIGINT or SIGTERM (or --seconds).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "data/proxyfile.h"
#include "socksfixture.h"

namespace {
const char kUsage[] =
    "Usage: velmora-socks-fixture [--page] [--proxy RULE]... [--list FILE] [--seconds S]\n"
    "Opens scripted SOCKS proxies on 127.0.0.1 and prints \"page URL\" and \"socks PORT\" lines,\n"
    "then \"ready\"; serves until SIGINT or SIGTERM, or for S seconds.\n"
    "\n"
    "  --page        also serve a test page that contains the word \"engine\"\n"
    "  --proxy RULE  [COUNT*]ACTION[:delay=MS][:protocol=4|5|both][:trickle=MS][:status=N][:body=TEXT]\n"
    "                ACTION: relay reject close silent serve endless trickle reset\n"
    "                (serve/trickle/reset answer with status and body, default the test page;\n"
    "                body must come last and may contain ':')\n"
    "  --list FILE   write the proxies as a proxy list file\n"
    "  --seconds S   stop after S seconds (default: run until stopped)\n"
    "Example: velmora-socks-fixture --page --proxy '500*relay:delay=200'\n";

using Action = SocksBehaviour::Action;

bool ParseAction(const std::string& name, Action& action)
{
    static const std::map<std::string, Action> kActions = {
        {"relay", Action::Relay},          {"reject", Action::Reject},       {"close", Action::CloseAtOnce},
        {"silent", Action::NeverAnswer},   {"serve", Action::Serve},         {"endless", Action::ServeEndless},
        {"trickle", Action::ServeTrickle}, {"reset", Action::ServeThenReset}};
    const auto it = kActions.find(name);
    if (it == kActions.end())
        return false;
    action = it->second;
    return true;
}

// Parses RULE into a count and a behaviour; false with a message otherwise.
bool ParseProxyRule(std::string rule, int& count, SocksBehaviour& behaviour, std::string& error)
{
    count = 1;
    const size_t star = rule.find('*');
    if (star != std::string::npos) {
        count = std::atoi(rule.substr(0, star).c_str());
        rule.erase(0, star + 1);
        if (count < 1 || count > 5000) {
            error = "the count must be 1 to 5000";
            return false;
        }
    }
    const size_t colon = rule.find(':');
    if (!ParseAction(rule.substr(0, colon), behaviour.action)) {
        error = "unknown action \"" + rule.substr(0, colon) + "\"";
        return false;
    }
    int status = 200;
    std::string body = kTestPageBody;
    for (size_t at = colon; at != std::string::npos;) {
        const size_t next = rule.find(':', at + 1);
        const std::string option = rule.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (option.compare(0, 5, "body=") == 0) {
            body = rule.substr(at + 6);
            break;
        }
        const size_t equals = option.find('=');
        const std::string key = option.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
        if (key == "delay")
            behaviour.delayMs = std::atoi(value.c_str());
        else if (key == "trickle")
            behaviour.trickleMs = std::atoi(value.c_str());
        else if (key == "status")
            status = std::atoi(value.c_str());
        else if (key == "protocol" && (value == "4" || value == "5" || value == "both"))
            behaviour.protocol = value == "4"   ? SocksBehaviour::Protocol::Socks4
                                 : value == "5" ? SocksBehaviour::Protocol::Socks5
                                                : SocksBehaviour::Protocol::Both;
        else {
            error = "unknown proxy option \"" + option + "\"";
            return false;
        }
        at = next;
    }
    behaviour.answers = {HttpAnswer(status, body)};
    return true;
}

// Each proxy needs a listening socket and every connection one or two more.
void RaiseDescriptorLimit()
{
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}
}  // namespace

int main(int argc, char** argv)
{
    bool page = false;
    int seconds = 0;
    std::string listFile;
    std::vector<std::pair<int, SocksBehaviour>> groups;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        std::string error;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--page") {
            page = true;
        } else if (arg == "--proxy" && hasValue) {
            int count;
            SocksBehaviour behaviour;
            if (!ParseProxyRule(argv[++i], count, behaviour, error)) {
                std::fprintf(stderr, "velmora-socks-fixture: %s\n", error.c_str());
                return 2;
            }
            groups.emplace_back(count, behaviour);
        } else if (arg == "--list" && hasValue) {
            listFile = argv[++i];
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "velmora-socks-fixture: bad argument %s (see --help)\n", arg.c_str());
            return 2;
        }
    }

    // Block the stop signals before the fixture starts its threads, so that
    // only sigtimedwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    RaiseDescriptorLimit();

    SocksFixture fixture;
    if (page) {
        const int port = fixture.AddPage();
        std::printf("page %s\n", SocksFixture::PageUrl(port).c_str());
    }
    CProxyList proxies;
    for (const auto& [count, behaviour] : groups) {
        for (int n = 0; n < count; ++n) {
            const int port = fixture.AddSocks(behaviour);
            if (!port) {
                std::fprintf(stderr, "velmora-socks-fixture: cannot open a loopback port\n");
                return 1;
            }
            std::printf("socks %d\n", port);
            proxies.push_back(CProxy("127.0.0.1", port, -1, 0, 0, kUnmeasuredSpeed));
        }
    }
    if (!listFile.empty() && !WriteProxyFile(proxies, listFile)) {
        std::fprintf(stderr, "velmora-socks-fixture: cannot write %s\n", listFile.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    timespec limit = {seconds, 0};
    int received;
    do
        received = seconds > 0 ? sigtimedwait(&stopSignals, nullptr, &limit) : sigwaitinfo(&stopSignals, nullptr);
    while (received < 0 && errno == EINTR);
    return 0;
}
