// velmora-relay: the local SOCKS relay as a program of its own, which keeps
// the desktop's programs on their proxy after Velmora has ended.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "browser/socksrelay.h"

namespace {
const char kUsage[] = "Usage: velmora-relay --port P --upstream IP:PORT:TYPE [--upstream ...] [--pid-file FILE]\n"
                      "Relays the SOCKS4, SOCKS4a and SOCKS5 connections of this user's programs on 127.0.0.1:P\n"
                      "(0: a free port) to the first upstream SOCKS proxy, moving to the next one that answers\n"
                      "when it stops answering; nothing goes direct. TYPE: 0 unknown, 1 SOCKS4, 2 SOCKS5,\n"
                      "3 SOCKS4/5. Prints the port it listens on, and changes of proxy on stderr; runs until\n"
                      "SIGTERM or SIGINT, then removes the pid file.\n";

// IP:PORT:TYPE, for example 10.1.2.3:1080:2.
bool ParseUpstream(const char* text, CProxy& proxy)
{
    char ip[16], rest;
    int port = 0, type = -1;
    if (std::sscanf(text, "%15[0-9.]:%d:%d%c", ip, &port, &type, &rest) != 3 || !IsValidProxyAddress(ip)
        || !IsValidProxyPort(port) || type < 0 || type > 3)
        return false;
    proxy = CProxy(ip, port, -1, type, 0, kUnmeasuredSpeed);
    return true;
}

std::string Name(const CProxy& proxy)
{
    return std::string(proxy.ip) + ":" + std::to_string(proxy.port);
}

void Report(const RelayEvent& event)
{
    const std::string from = Name(event.from), to = Name(event.to);
    std::string text;
    switch (event.kind) {
    case RelayEvent::Kind::Switched: text = from + " stopped answering; now " + to; break;
    case RelayEvent::Kind::NoneAnswers: text = from + " stopped answering and no other proxy answers"; break;
    case RelayEvent::Kind::Recovered: text = to + " answers"; break;
    case RelayEvent::Kind::ResolvingNamesLocally: text = to + " takes no host names: looking them up here"; break;
    }
    std::fprintf(stderr, "velmora-relay: %s\n", text.c_str());
}
}  // namespace

int main(int argc, char** argv)
{
    int port = -1;
    std::vector<CProxy> upstreams;
    std::string pidFile;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        CProxy proxy;
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (option == "--port" && hasValue) {
            port = std::atoi(argv[++i]);
        } else if (option == "--upstream" && hasValue && ParseUpstream(argv[++i], proxy)) {
            upstreams.push_back(proxy);
        } else if (option == "--pid-file" && hasValue) {
            pidFile = argv[++i];
        } else {
            port = -1;
            break;
        }
    }
    if (port < 0 || port > 65535 || upstreams.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Blocked before the relay's thread starts, so that only sigwait takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    CSocksRelay relay;
    relay.SetUpstreams(upstreams);
    relay.SetEventHandler(Report);
    std::string problem;
    if (!relay.Start(port, problem)) {
        std::fprintf(stderr, "velmora-relay: %s\n", problem.c_str());
        return 1;
    }
    if (!pidFile.empty()) {
        FILE* file = std::fopen(pidFile.c_str(), "w");
        if (!file || std::fprintf(file, "%d\n", static_cast<int>(getpid())) < 0 || std::fclose(file) != 0) {
            std::fprintf(stderr, "velmora-relay: cannot write %s: %s\n", pidFile.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::printf("velmora-relay: listening on 127.0.0.1:%d\n", relay.Port());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    relay.Stop();
    if (!pidFile.empty())
        unlink(pidFile.c_str());
    return 0;
}
