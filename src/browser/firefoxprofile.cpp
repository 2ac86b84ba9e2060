#include "browser/firefoxprofile.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

std::string FindFirefoxProfile(const std::string& home) {
    if (home.empty())
        return std::string();
    // The listing order of a folder is arbitrary; sorting makes the choice repeatable.
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(home + "/.mozilla/firefox", error), end; !error && it != end;
         it.increment(error))
        entries.push_back(it->path().string());
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        if (entry.find(".default") != std::string::npos && fs::is_directory(entry, error))
            return entry + "/prefs.js";
    }
    return std::string();
}
