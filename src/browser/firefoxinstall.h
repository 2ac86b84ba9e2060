#pragma once

#include <string>
#include <vector>

// Looks for an installed Firefox among the candidates, in order: files on the
// search path (a PATH value) whose name contains "firefox" in any case, then
// the directories matching the install patterns. The first candidate found
// decides: an executable file on the path is the result; for a directory,
// its "firefox" (or same-named) executable, and "" when it has none, without
// looking at later candidates. Entries of one folder are taken in sorted order.
std::string FindFirefoxInstall(const std::string& searchPath, const std::vector<std::string>& installPatterns);

// /usr/lib/firefox*, /usr/lib64/firefox*, /opt/firefox*
const std::vector<std::string>& DefaultFirefoxInstallPatterns();

// The folder of the program file exePath leads to through its links
// (/usr/bin/firefox-esr -> /usr/lib/firefox-esr); "" when it cannot be resolved.
std::string FirefoxInstallFolder(const std::string& exePath);
