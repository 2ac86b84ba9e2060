#pragma once

#include <string>
#include <vector>

// The folders Firefox keeps its profiles in, in the order they are searched:
// configHome/mozilla/firefox (current Firefox), home/.mozilla/firefox, the
// Snap and the Flatpak locations.
std::vector<std::string> FirefoxProfileRoots(const std::string& home, const std::string& configHome);

// prefs.js of the profile Firefox uses, from the first root that names one:
// the install's default in installs.ini (or an [Install...] group of
// profiles.ini), else the Default=1 profile of profiles.ini, else the first
// folder, in sorted order of the full paths, whose full path contains
// ".default" (exact case). "" when there is none. With several installs, the
// install group is the one whose default profile was last run by the Firefox
// in installFolder (the folder of its real program file).
std::string FindFirefoxProfile(const std::vector<std::string>& roots, const std::string& installFolder = {});
