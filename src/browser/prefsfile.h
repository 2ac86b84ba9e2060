#pragma once

#include <string>

#include "data/outcome.h"

// Reading and rewriting a browser's preference file (Firefox's prefs.js,
// Chromium's Preferences) while keeping the user's bytes safe.

// The whole file into content; on failure the problem is the system's
// reason with the file's name.
Outcome ReadWholeFile(const std::string& path, std::string& content);

// Copies the old bytes to path.bkp, then writes the new ones through a
// temporary file renamed over path, both with path's mode (0600 when it has
// none), so that a failure at any point leaves the file whole.
bool ReplaceWithBackup(const std::string& path, const std::string& oldContent, const std::string& newContent);
