#include "servicelog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string LogText(const std::string& text, size_t room)
{
    const bool cut = text.size() > room;
    std::string line = text.substr(0, cut ? room - 3 : room);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return cut ? line + "..." : line;
}

bool LogFile::Open(const std::string& path, off_t cap, std::string& error)
{
    const std::lock_guard<std::mutex> hold(lock_);
    path_ = path;
    cap_ = cap;
    if (Reopen())
        return true;
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
}

bool LogFile::Reopen()
{
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::fflush(stderr);
    dup2(fd, STDERR_FILENO);
    close(fd);
    return true;
}

void LogFile::KeepUnderCap()
{
    const std::lock_guard<std::mutex> hold(lock_);
    struct stat status {};
    if (path_.empty() || fstat(STDERR_FILENO, &status) != 0 || status.st_size < cap_)
        return;
    std::rename(path_.c_str(), (path_ + ".1").c_str());
    Reopen();
}
