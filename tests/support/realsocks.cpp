#include "realsocks.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
constexpr int kStartTimeoutMs = 5000;

// A loopback port that was free a moment ago.
int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

bool Executable(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}
}  // namespace

std::unique_ptr<RealSocksServer> RealSocksServer::StartDante(std::string& whyNot)
{
    const std::string program = "/usr/sbin/danted";
    if (!Executable(program)) {
        whyNot = "danted is not installed (Debian package dante-server)";
        return nullptr;
    }
    std::unique_ptr<RealSocksServer> server(new RealSocksServer);
    server->port = FreeLoopbackPort();
    const std::string user = geteuid() == 0 ? "user.privileged: root\nuser.unprivileged: nobody\n" : "";
    const std::string config =
        server->dir.WriteFile("danted.conf", "logoutput: " + server->dir.File("danted.log")
                                                 + "\n"
                                                   "internal: 127.0.0.1 port = "
                                                 + std::to_string(server->port)
                                                 + "\n"
                                                   "external: lo\n"
                                                   "clientmethod: none\n"
                                                   "socksmethod: none\n"
                                                 + user
                                                 + "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                                   "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }\n"
                                                   "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n");
    const std::string args[] = {program, "-f", config, "-N", "1"};
    if (!server->Launch(program, args, 5, whyNot))
        return nullptr;
    return server;
}

std::unique_ptr<RealSocksServer> RealSocksServer::StartMicrosocks(std::string& whyNot)
{
    const std::string program = "/usr/bin/microsocks";
    if (!Executable(program)) {
        whyNot = "microsocks is not installed (Debian package microsocks)";
        return nullptr;
    }
    std::unique_ptr<RealSocksServer> server(new RealSocksServer);
    server->port = FreeLoopbackPort();
    const std::string args[] = {program, "-i", "127.0.0.1", "-p", std::to_string(server->port)};
    if (!server->Launch(program, args, 5, whyNot))
        return nullptr;
    return server;
}

bool RealSocksServer::Launch(const std::string& program, const std::string* args, int argCount, std::string& whyNot)
{
    std::vector<char*> argv;
    for (int i = 0; i < argCount; ++i)
        argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(nullptr);

    const std::string log = dir.File("output.log");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);  // its own group: its helpers are stopped with it
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int failed = posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (failed) {
        pid = -1;
        whyNot = program + " could not be started";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (!Accepts(port)) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            whyNot = program + " ended at once: " + dir.ReadFile("output.log") + dir.ReadFile("danted.log");
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            whyNot = program + " did not listen on port " + std::to_string(port);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

RealSocksServer::~RealSocksServer()
{
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}
