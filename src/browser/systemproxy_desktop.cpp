#include "browser/systemproxy_desktop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browser/systemproxy_composite.h"
#include "browser/systemproxy_gsettings.h"
#include "browser/systemproxy_kde.h"
#include "browser/systemproxy_none.h"

namespace {

// Names in XDG_CURRENT_DESKTOP or DESKTOP_SESSION, compared in lower case.
// MATE's and Cinnamon's network settings write GNOME's proxy schema; Budgie
// and Ubuntu's sessions list GNOME beside themselves.
constexpr const char* kGnomeNames[] = {"gnome",    "unity", "x-cinnamon", "cinnamon",      "budgie",
                                       "pantheon", "mate",  "ubuntu",     "gnome-classic", "gnome-flashback"};
constexpr const char* kKdeNames[] = {"kde", "plasma", "plasmawayland", "plasmax11"};

// The shells of a running session.
constexpr const char* kGnomeProcesses[] = {"gnome-shell", "cinnamon", "mate-session", "budgie-wm", "gala"};
constexpr const char* kKdeProcesses[] = {"plasmashell", "kwin_x11", "kwin_wayland"};

template <size_t N>
bool Names(const char* const (&names)[N], const std::string& name)
{
    return std::find_if(std::begin(names), std::end(names), [&name](const char* known) { return name == known; })
           != std::end(names);
}

std::vector<std::string> LowerCaseList(const std::string& text)
{
    std::vector<std::string> entries;
    std::stringstream stream(text);
    for (std::string entry; std::getline(stream, entry, ':');) {
        std::transform(entry.begin(), entry.end(), entry.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!entry.empty())
            entries.push_back(entry);
    }
    return entries;
}

// The family of the first name that belongs to one: "ubuntu:GNOME" is GNOME.
bool FamilyOfNames(const std::string& list, DesktopFamily& family)
{
    for (const std::string& name : LowerCaseList(list)) {
        if (Names(kKdeNames, name)) {
            family = DesktopFamily::Kde;
            return true;
        }
        if (Names(kGnomeNames, name)) {
            family = DesktopFamily::Gnome;
            return true;
        }
    }
    return false;
}

std::string EnvText(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Names (/proc/<pid>/comm) of this user's processes.
std::vector<std::string> UserProcessNames()
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        struct stat info = {};
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](unsigned char c) { return std::isdigit(c); })
            || stat(it->path().c_str(), &info) != 0 || info.st_uid != getuid())
            continue;
        std::ifstream comm(it->path() / "comm");
        std::string name;
        if (std::getline(comm, name))
            names.push_back(name);
    }
    return names;
}

}  // namespace

DesktopFamily DesktopFamilyOf(const DesktopHints& hints)
{
    DesktopFamily family = DesktopFamily::Other;
    if (!hints.currentDesktop.empty())
        return FamilyOfNames(hints.currentDesktop, family) ? family : DesktopFamily::Other;
    // Older sessions and some display managers leave XDG_CURRENT_DESKTOP out.
    if (hints.kdeSession)
        return DesktopFamily::Kde;
    if (hints.gnomeSession)
        return DesktopFamily::Gnome;
    if (FamilyOfNames(hints.desktopSession, family))
        return family;
    for (const std::string& process : hints.runningProcesses) {
        if (Names(kKdeProcesses, process))
            return DesktopFamily::Kde;
        if (Names(kGnomeProcesses, process))
            return DesktopFamily::Gnome;
    }
    return DesktopFamily::Other;
}

DesktopHints CurrentDesktopHints()
{
    DesktopHints hints;
    hints.currentDesktop = EnvText("XDG_CURRENT_DESKTOP");
    hints.desktopSession = EnvText("DESKTOP_SESSION");
    hints.kdeSession = !EnvText("KDE_FULL_SESSION").empty() || !EnvText("KDE_SESSION_VERSION").empty();
    hints.gnomeSession = !EnvText("GNOME_DESKTOP_SESSION_ID").empty();
    if (hints.currentDesktop.empty())
        hints.runningProcesses = UserProcessNames();
    return hints;
}

std::unique_ptr<ISystemProxyStore> NewKdeProxyStore(bool withGnomeSettings)
{
    if (!withGnomeSettings)
        return std::make_unique<CKdeProxyStore>();
    auto store = std::make_unique<CCompositeProxyStore>(
        CCompositeProxyStore::Part{std::make_unique<CKdeProxyStore>(), "kde.", "in kioslaverc"},
        CCompositeProxyStore::Part{std::make_unique<CGSettingsProxyStore>(CGSettingsProxyStore::Check::GnomeResolver),
                                   "gnome.", "in GNOME's proxy settings, which Firefox reads"},
        "desktop-proxy-kde-gnome");
    store->AdoptFirstStoreSavedSettings();
    return store;
}

std::unique_ptr<ISystemProxyStore> NewDesktopProxyStore(DesktopFamily family)
{
    switch (family) {
    case DesktopFamily::Gnome: return std::make_unique<CGSettingsProxyStore>();
    case DesktopFamily::Kde: return NewKdeProxyStore(CGSettingsProxyStore::Available());
    case DesktopFamily::Other: break;
    }
    return std::make_unique<CNoSystemProxyStore>();
}
