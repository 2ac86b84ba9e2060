#include "removalwatch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
const char kDeleted[] = " (deleted)";

// /proc/self/exe names the file and adds " (deleted)" once it is gone.
std::string ExeLink()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

bool EndsWithDeleted(const std::string& link)
{
    const size_t suffix = sizeof kDeleted - 1;
    return link.size() > suffix && link.compare(link.size() - suffix, suffix, kDeleted) == 0;
}

// An XDG base folder, as the launcher computes it: the variable when it is
// absolute, else the fallback under HOME.
std::string XdgFolder(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback;
}

void RemoveIf(bool condition, const std::string& path, std::string& removed)
{
    if (condition && std::remove(path.c_str()) == 0)
        removed += path + "\n";
}

bool IsDanglingLink(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0;
}
}  // namespace

bool ProgramFileReplaced()
{
    return EndsWithDeleted(ExeLink());
}

bool ProgramFileGone()
{
    std::string link = ExeLink();
    if (!EndsWithDeleted(link))
        return false;
    link.resize(link.size() - (sizeof kDeleted - 1));
    return access(link.c_str(), F_OK) != 0;
}

std::string RemoveLeftoversOfUninstall()
{
    std::string removed;
    const std::string work = XdgFolder("XDG_DATA_HOME", ".local/share") + "/velmora";
    const bool linksDangle = IsDanglingLink(work + "/countries.nbx") || IsDanglingLink(work + "/flags");
    RemoveIf(IsDanglingLink(work + "/countries.nbx"), work + "/countries.nbx", removed);
    RemoveIf(IsDanglingLink(work + "/flags"), work + "/flags", removed);
    RemoveIf(linksDangle, work + "/proxy.tmp", removed);
    const std::string state = XdgFolder("XDG_STATE_HOME", ".local/state") + "/velmora";
    for (const char* name : {"service.pid", "service.port", "service.lock", "service.log", "service.log.1"})
        RemoveIf(true, state + "/" + name, removed);
    rmdir(state.c_str());  // only when nothing else is in it
    return removed;
}
