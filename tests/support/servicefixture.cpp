#include "support/servicefixture.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/tempdir.h"

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

bool Answers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}
}  // namespace

std::string ServiceFixture::ProgramPath()
{
    return std::string(VELMORA_TOOLS_DIR) + "/velmora-service";
}

ServiceFixture::ServiceFixture(const std::vector<std::string>& options) : dir_(std::make_unique<TempDir>())
{
    const std::string portFile = dir_->File("port");
    std::vector<std::string> args = {ProgramPath(), "--port", "0", "--port-file", portFile};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The service dies with the test: a crashed test must not leave it running,
    // holding the test runner's output pipe open.
    const std::string logPath = dir_->File("log");
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int devNull = open("/dev/null", O_RDWR);
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
        }
        if (log >= 0)
            dup2(log, STDERR_FILENO);
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    if (pid_ < 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << argv[0];
        return;
    }

    // The service writes the port file only after it is bound, so one
    // successful connection means it answers. The bound is generous: under
    // ThreadSanitizer on a busy machine the start alone takes seconds.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            ADD_FAILURE() << "velmora-service ended at start:\n" << Log();
            return;
        }
        const int port = std::atoi(dir_->ReadFile("port").c_str());
        if (port > 0 && Answers(port)) {
            port_ = port;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "velmora-service did not answer within 60 s:\n" << Log();
    Stop();
}

ServiceFixture::~ServiceFixture()
{
    Stop();
    if (envChanged_) {
        if (hadEnv_)
            setenv("VELMORA_SERVICE_URL", previousEnv_.c_str(), 1);
        else
            unsetenv("VELMORA_SERVICE_URL");
    }
}

std::string ServiceFixture::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

void ServiceFixture::UseAsService()
{
    if (!envChanged_) {
        const char* previous = std::getenv("VELMORA_SERVICE_URL");
        hadEnv_ = previous != nullptr;
        previousEnv_ = previous ? previous : "";
        envChanged_ = true;
    }
    setenv("VELMORA_SERVICE_URL", BaseUrl().c_str(), 1);
}

std::string ServiceFixture::Log() const
{
    return dir_->ReadFile("log");
}

bool ServiceFixture::LogShows(const std::string& text) const
{
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (Log().find(text) == std::string::npos) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ServiceFixture::Stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    port_ = 0;
}
