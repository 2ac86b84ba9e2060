#pragma once

#include <string>

// prefs.js of the default profile under home/.mozilla/firefox: the first
// folder, in sorted order of the full paths, whose full path contains
// ".default" (exact case); "" when there is none.
std::string FindFirefoxProfile(const std::string& home);
