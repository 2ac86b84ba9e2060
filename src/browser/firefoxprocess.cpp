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
#include <iterator>
#include <sstream>
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

// The program file a process runs, "" when it cannot be read (another
// user's, or ended). A file replaced while it runs (Firefox upgraded under a
// running Firefox) reads as its path with " (deleted)" after it.
fs::path ProcessProgram(int pid)
{
    std::error_code error;
    std::string program = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
    const std::string deleted = " (deleted)";
    if (program.size() > deleted.size()
        && program.compare(program.size() - deleted.size(), deleted.size(), deleted) == 0)
        program.resize(program.size() - deleted.size());
    return error ? fs::path() : fs::path(program);
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

// The found Firefox's program file, its links resolved; "" when there is none.
fs::path FoundProgram(const FirefoxPaths& paths)
{
    std::error_code error;
    const fs::path found = paths.exePath.empty() ? fs::path() : fs::canonical(paths.exePath, error);
    return error ? fs::path() : found;
}

// Firefox's own child processes (web content, sockets, media decoding, its
// fork server) run the same program with -contentproc among their arguments;
// only the main process may be asked to end, since it alone saves prefs.js.
// Those the fork server starts rewrite their command line with spaces
// between the arguments instead of NULs. A process still inside exec already
// shows the new program but no command line yet: it is not taken for the main
// process, since it may yet turn out to be a child.
bool IsFirefoxChildProcess(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string commandLine((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (commandLine.empty())
        return true;
    std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
    std::istringstream arguments(commandLine);
    std::string argument;
    while (arguments >> argument)
        if (argument == "-contentproc")
            return true;
    return false;
}

bool RunsFirefox(const fs::path& found, int pid)
{
    if (found.empty())
        return false;
    const fs::path program = ProcessProgram(pid);
    const bool firefox =
        program == found
        || (program.parent_path() == found.parent_path() && IsFirefoxProcessName(program.filename().string()));
    return firefox && !IsFirefoxChildProcess(pid) && !HasEnded(pid);
}

}  // namespace

bool IsFirefoxProcessName(const std::string& name)
{
    return name == "firefox" || name == "firefox-esr" || name == "firefox-bin";
}

bool IsRunningFirefox(const FirefoxPaths& paths, int pid)
{
    return RunsFirefox(FoundProgram(paths), pid);
}

bool TerminateFirefoxAndWait(const FirefoxPaths& paths, int pid, std::chrono::milliseconds wait)
{
    // The id was found earlier (perhaps before a question to the user); make
    // sure it still is that Firefox before signalling it.
    if (pid <= 0 || !IsRunningFirefox(paths, pid) || kill(pid, SIGTERM) != 0)
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
    const fs::path found = FoundProgram(paths);
    const int self = getpid();
    for (int pid : ProcessIds()) {
        if (pid != self && OwnedByUser(pid) && RunsFirefox(found, pid))
            return pid;
    }
    return 0;
}

bool TerminateFirefox(const FirefoxPaths& paths, int pid)
{
    // Firefox writes prefs.js while it shuts down; only once it has ended may the file be changed.
    return paths.Complete() && TerminateFirefoxAndWait(paths, pid, kShutdownWait);
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
