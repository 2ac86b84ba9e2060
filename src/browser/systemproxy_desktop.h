#pragma once

#include <memory>
#include <string>
#include <vector>

#include "browser/systemproxy.h"

// The desktop families whose system-wide proxy setting the program can change.
enum class DesktopFamily {
    Gnome,  // GSettings org.gnome.system.proxy: GNOME and the desktops that read its settings
    Kde,    // kioslaverc: KDE Plasma
    Other,  // no setting the program can change
};

// What tells the desktop apart: the environment of the session and the
// names of this user's running processes (looked at only when the
// environment names no desktop).
struct DesktopHints {
    std::string currentDesktop;  // XDG_CURRENT_DESKTOP, a colon-separated list
    std::string desktopSession;  // DESKTOP_SESSION
    bool kdeSession = false;     // KDE_FULL_SESSION or KDE_SESSION_VERSION set
    bool gnomeSession = false;   // GNOME_DESKTOP_SESSION_ID set
    std::vector<std::string> runningProcesses;
};

DesktopFamily DesktopFamilyOf(const DesktopHints& hints);

// The hints of this session; the process list is read only when
// XDG_CURRENT_DESKTOP is empty.
DesktopHints CurrentDesktopHints();

// The store of the desktop the program runs on; SystemProxyStore() asks for
// it once, at its first use during start-up.
std::unique_ptr<ISystemProxyStore> NewDesktopProxyStore(DesktopFamily family);

// KDE Plasma's store. Firefox on KDE reads GNOME's proxy settings, GTK
// programs too, so where they can be kept (withGnomeSettings) both
// kioslaverc and GNOME's settings are written, checked and restored
// together; a configuration the kioslaverc store saved alone in an earlier
// run is taken over.
std::unique_ptr<ISystemProxyStore> NewKdeProxyStore(bool withGnomeSettings);
