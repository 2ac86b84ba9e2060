#include "browser/firefoxprofile.h"

#include <glib.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

bool IsFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

KeyFilePtr LoadIni(const std::string& path)
{
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr))
        return nullptr;
    return file;
}

std::string StringValue(GKeyFile* file, const char* group, const char* key)
{
    gchar* value = g_key_file_get_string(file, group, key, nullptr);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

// A profile path as the .ini files give it: relative to the root unless it
// is absolute. "" unless the folder exists.
std::string ProfileFolder(const std::string& root, const std::string& path, bool relative)
{
    if (path.empty())
        return std::string();
    const std::string folder = relative && path[0] != '/' ? root + "/" + path : path;
    return IsFolder(folder) ? folder : std::string();
}

// The folder of the Firefox install that last ran the profile, as Firefox
// records it in the profile's compatibility.ini.
std::string LastInstallOf(const std::string& profile)
{
    KeyFilePtr compatibility = LoadIni(profile + "/compatibility.ini");
    return compatibility ? StringValue(compatibility.get(), "Compatibility", "LastPlatformDir") : std::string();
}

// The default profile of an install group: installs.ini's groups, and the
// [Install...] groups newer Firefox also writes into profiles.ini. With
// several installs, the group of installFolder's Firefox; else the first.
std::string InstallDefault(GKeyFile* file, const std::string& root, bool installGroupsOnly,
                           const std::string& installFolder)
{
    gchar** groups = g_key_file_get_groups(file, nullptr);
    std::string first;
    std::string ours;
    for (gchar** group = groups; ours.empty() && *group; ++group) {
        if (installGroupsOnly && !g_str_has_prefix(*group, "Install"))
            continue;
        const std::string profile = ProfileFolder(root, StringValue(file, *group, "Default"), true);
        if (first.empty())
            first = profile;
        if (!profile.empty() && !installFolder.empty() && LastInstallOf(profile) == installFolder)
            ours = profile;
    }
    g_strfreev(groups);
    return ours.empty() ? first : ours;
}

std::string MarkedDefault(GKeyFile* file, const std::string& root)
{
    gchar** groups = g_key_file_get_groups(file, nullptr);
    std::string found;
    for (gchar** group = groups; found.empty() && *group; ++group) {
        if (!g_str_has_prefix(*group, "Profile") || StringValue(file, *group, "Default") != "1")
            continue;
        // IsRelative is 1 when missing, as Firefox reads it.
        const bool relative = StringValue(file, *group, "IsRelative") != "0";
        found = ProfileFolder(root, StringValue(file, *group, "Path"), relative);
    }
    g_strfreev(groups);
    return found;
}

// The first folder whose path contains ".default", in sorted order so that
// the choice does not depend on the listing order.
std::string FirstDotDefault(const std::string& root)
{
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path().string());
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries)
        if (entry.find(".default") != std::string::npos && IsFolder(entry))
            return entry;
    return std::string();
}

std::string ProfileIn(const std::string& root, const std::string& installFolder)
{
    if (!IsFolder(root))
        return std::string();
    std::string profile;
    if (KeyFilePtr installs = LoadIni(root + "/installs.ini"))
        profile = InstallDefault(installs.get(), root, false, installFolder);
    KeyFilePtr profiles = LoadIni(root + "/profiles.ini");
    if (profile.empty() && profiles)
        profile = InstallDefault(profiles.get(), root, true, installFolder);
    if (profile.empty() && profiles)
        profile = MarkedDefault(profiles.get(), root);
    return profile.empty() ? FirstDotDefault(root) : profile;
}

}  // namespace

std::vector<std::string> FirefoxProfileRoots(const std::string& home, const std::string& configHome)
{
    std::vector<std::string> roots;
    if (!configHome.empty() && configHome[0] == '/')
        roots.push_back(configHome + "/mozilla/firefox");
    else if (!home.empty())
        roots.push_back(home + "/.config/mozilla/firefox");
    if (!home.empty()) {
        roots.push_back(home + "/.mozilla/firefox");
        roots.push_back(home + "/snap/firefox/common/.mozilla/firefox");
        roots.push_back(home + "/.var/app/org.mozilla.firefox/.mozilla/firefox");
    }
    return roots;
}

std::string FindFirefoxProfile(const std::vector<std::string>& roots, const std::string& installFolder)
{
    for (const std::string& root : roots) {
        const std::string profile = ProfileIn(root, installFolder);
        if (!profile.empty())
            return profile + "/prefs.js";
    }
    return std::string();
}
