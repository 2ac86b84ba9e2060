#include "browser/firefoxinstall.h"

#include <glob.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Program files count as Firefox when their name contains "firefox" in any
// letter case (firefox-esr, FIREFOX, ...).
bool NameContainsFirefox(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.find("firefox") != std::string::npos;
}

bool IsExecutableFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// The first executable in dir whose name contains "firefox", or "".
std::string FirefoxInFolder(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (NameContainsFirefox(name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string path = dir + "/" + name;
        if (IsExecutableFile(path))
            return path;
    }
    return std::string();
}

std::string FirefoxOnPath(const std::string& searchPath)
{
    std::istringstream entries(searchPath);
    std::string dir;
    while (std::getline(entries, dir, ':')) {
        // Empty and relative entries would depend on the working folder.
        if (dir.empty() || dir[0] != '/')
            continue;
        std::string found = FirefoxInFolder(dir);
        if (!found.empty())
            return found;
    }
    return std::string();
}

std::vector<std::string> MatchingFolders(const std::string& pattern)
{
    std::vector<std::string> folders;
    glob_t matches = {};
    if (glob(pattern.c_str(), GLOB_ONLYDIR, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc; ++i) {
            std::error_code error;
            if (fs::is_directory(matches.gl_pathv[i], error))
                folders.emplace_back(matches.gl_pathv[i]);
        }
    }
    globfree(&matches);
    return folders;  // glob sorts its matches
}

// Debian's firefox-esr keeps its program under its own name.
std::string ExecutableInInstall(const std::string& folder)
{
    for (const std::string& name : {std::string("firefox"), fs::path(folder).filename().string()}) {
        std::string path = folder + "/" + name;
        if (IsExecutableFile(path))
            return path;
    }
    return std::string();
}

}  // namespace

std::string FindFirefoxInstall(const std::string& searchPath, const std::vector<std::string>& installPatterns)
{
    std::string onPath = FirefoxOnPath(searchPath);
    if (!onPath.empty())
        return onPath;
    for (const std::string& pattern : installPatterns) {
        const std::vector<std::string> folders = MatchingFolders(pattern);
        if (!folders.empty())
            return ExecutableInInstall(folders.front());
    }
    return std::string();
}

const std::vector<std::string>& DefaultFirefoxInstallPatterns()
{
    static const std::vector<std::string> patterns = {"/usr/lib/firefox*", "/usr/lib64/firefox*", "/opt/firefox*"};
    return patterns;
}

std::string FirefoxInstallFolder(const std::string& exePath)
{
    std::error_code error;
    const fs::path program = exePath.empty() ? fs::path() : fs::canonical(exePath, error);
    return error || program.empty() ? std::string() : program.parent_path().string();
}
