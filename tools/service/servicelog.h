#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>

// Text from a request made fit for one log line: at most room bytes (the
// cut marked "..."), every control or non-ASCII byte as "?".
std::string LogText(const std::string& text, size_t room = 120);

// The service's log file, standing in for stderr and kept under a size: once
// it passes the cap it becomes FILE.1 (replacing the one before) and a new
// FILE begins, so a flood of requests never fills the disk.
class LogFile {
public:
    // Appends to path and points stderr at it; false with error when it cannot be opened.
    bool Open(const std::string& path, off_t cap, std::string& error);
    // Starts a new file when the current one has passed the cap. Safe from any thread.
    void KeepUnderCap();

private:
    bool Reopen();

    std::mutex lock_;
    std::string path_;
    off_t cap_ = 0;
};
