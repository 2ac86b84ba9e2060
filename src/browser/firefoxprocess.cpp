#include "browser/firefoxprocess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "browser/firefox.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kShutdownWait(10);

std::string ProcFile(int pid, const char* name)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    std::string text;
    std::getline(file, text);
    return text;
}

// A zombie has ended but still has its /proc entry until its parent reaps it.
bool HasEnded(int pid)
{
    const std::string stat = ProcFile(pid, "stat");
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size())
        return true;
    const char state = stat[nameEnd + 2];
    return state == 'Z' || state == 'X';
}

// Only this user's processes count: another user's Firefox could not be ended anyway.
bool OwnedByUser(int pid)
{
    struct stat info = {};
    return stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0 && info.st_uid == getuid();
}

std::vector<int> ProcessIds()
{
    std::vector<int> ids;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            ids.push_back(std::atoi(name.c_str()));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

bool IsFirefoxProcessName(const std::string& name)
{
    return name == "firefox" || name == "firefox-esr" || name == "firefox-bin";
}

bool IsRunningFirefox(int pid)
{
    return IsFirefoxProcessName(ProcFile(pid, "comm")) && !HasEnded(pid);
}

bool TerminateFirefoxAndWait(int pid, std::chrono::milliseconds wait)
{
    // The id was found earlier (perhaps before a question to the user); make
    // sure it still names a Firefox before signalling it.
    if (pid <= 0 || !IsRunningFirefox(pid) || kill(pid, SIGTERM) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!HasEnded(pid)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

int FindFirefoxProcess(const FirefoxPaths& paths)
{
    if (!paths.Complete())
        return 0;
    const int self = getpid();
    for (int pid : ProcessIds()) {
        if (pid != self && OwnedByUser(pid) && IsRunningFirefox(pid))
            return pid;
    }
    return 0;
}

bool TerminateFirefox(const FirefoxPaths& paths, int pid)
{
    // Firefox writes prefs.js while it shuts down; only once it has ended may the file be changed.
    return paths.Complete() && TerminateFirefoxAndWait(pid, kShutdownWait);
}

bool StartFirefox(const FirefoxPaths& paths)
{
    if (!paths.Complete())
        return false;
    // Double fork: a short-lived middle process spawns Firefox and exits at
    // once, so Firefox is adopted by init and never stays a zombie of ours.
    // Firefox gets a session of its own and an empty signal mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    std::string program = paths.exePath;
    char* arguments[] = {program.data(), nullptr};

    const pid_t middle = fork();
    if (middle == 0) {
        pid_t firefox = 0;
        const int result = posix_spawn(&firefox, arguments[0], nullptr, &attributes, arguments, environ);
        _exit(result == 0 ? 0 : 1);
    }
    posix_spawnattr_destroy(&attributes);
    if (middle < 0)
        return false;
    int status = 0;
    pid_t waited;
    do
        waited = waitpid(middle, &status, 0);
    while (waited < 0 && errno == EINTR);
    return waited == middle && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
