#pragma once

#include <string>

// Reading and rewriting a browser's preference file (Firefox's prefs.js,
// Chromium's Preferences) while keeping the user's bytes safe.

// The whole file; on failure error (when given) gets the system's reason
// with the file's name.
bool ReadWholeFile(const std::string& path, std::string& content, std::string* error = nullptr);

// Copies the old bytes to path.bkp, then writes the new ones through a
// temporary file renamed over path, both with path's mode (0600 when it has
// none), so that a failure at any point leaves the file whole.
bool ReplaceWithBackup(const std::string& path, const std::string& oldContent, const std::string& newContent);
