#pragma once

#include <string>

#include "browser/systemproxy.h"

// The desktop's proxy configuration from before Hide IP and the proxy the
// program applied, kept on disk from the moment of applying until it has been
// restored, so that a crash, a kill or a power cut loses nothing.
struct SavedProxySettings {
    std::string connection;
    DesktopProxySettings before;
    CProxy applied;
    // The port of the program's relay on 127.0.0.1 that the desktop is
    // pointed at, which forwards to `applied`; 0 when the desktop names the
    // applied proxy itself (a file of an earlier version).
    int relayPort = 0;
};

// ${XDG_STATE_HOME:-~/.local/state}/velmora/<name>.ini, read from the
// environment on every call; the name is the store's (desktop-proxy for
// GSettings, desktop-proxy-kde for kioslaverc).
std::string SavedProxySettingsPath(const std::string& name = "desktop-proxy");

// False when there is no readable saved configuration at path.
bool LoadSavedProxySettings(const std::string& path, SavedProxySettings& saved);
// Writes a new file beside the old one and renames it over (mode 0600, the
// folder created when missing); false leaves the old file as it was.
bool StoreSavedProxySettings(const std::string& path, const SavedProxySettings& saved);
// True when the file is gone afterwards.
bool RemoveSavedProxySettings(const std::string& path);
