#pragma once

#include <string>

#include "common/question.h"

// Where Firefox and the prefs.js of its default profile are; empty when not found.
struct FirefoxPaths {
    std::string exePath;
    std::string prefsPath;

    bool Complete() const { return !exePath.empty() && !prefsPath.empty(); }
};

// Filled on the first call (install lookup, then profile lookup), never refreshed.
FirefoxPaths& GetFirefoxPaths();
// Forgets the paths so the next GetFirefoxPaths looks them up again.
void ResetFirefoxPathsForTest();

// Every operation below does nothing (false or 0) unless both paths are set.

// True when prefs.js could be read and is Velmora's to change; follows is
// true when no user_pref("network.proxy.type", ...) statement of it sets
// another value than 5, so Firefox uses the system proxy settings. False
// (whyUnreadable, when given, says why in words for the user) also when the
// profile's user.js sets the proxy type: Firefox applies it at every start.
bool PrefsFollowSystem(const FirefoxPaths& paths, bool& follows, std::string* whyUnreadable = nullptr);
// Removes every network.proxy.type statement (follow true) or adds
// user_pref("network.proxy.type", 0); on a line of its own (follow false),
// keeping every other byte and the file's line ends. Copies prefs.js to
// prefs.js.bkp first and writes through a link to the file it names;
// nothing is written when the file already agrees.
void SetPrefsFollowSystem(const FirefoxPaths& paths, bool follow);

// Id of a running Firefox of this user, or 0.
int FindFirefoxProcess(const FirefoxPaths& paths);
// Asks the process to end and waits until it has: Firefox saves prefs.js
// while shutting down, so the file may be rewritten only afterwards. True
// when it ended.
bool TerminateFirefox(const FirefoxPaths& paths, int pid);
// Starts exePath without arguments, detached from this program.
bool StartFirefox(const FirefoxPaths& paths);

// Makes prefs.js follow the system proxy settings (or stop following them).
// prefs.js may only change while Firefox is not running: a running Firefox is
// closed first if the user answers closeQuestion with yes, and started again
// afterwards. Nothing changes when the user says no or Firefox does not end.
void ChangeFirefoxPrefs(const FirefoxPaths& paths, bool follow, IQuestion& question, const std::string& closeQuestion);

// At start-up: when the firefox setting (firefoxFollowsSystem) says to follow
// the system proxy but prefs.js still holds a proxy-type line, removes it,
// asking kFirefoxReconcileQuestion if Firefox runs.
void ReconcileFirefoxAtStart(bool firefoxFollowsSystem, IQuestion& question);

constexpr const char* kFirefoxReconcileQuestion =
    "Firefox'setting is not consistent,Do you want to close Firefox to change its setting?";
constexpr const char* kFirefoxCloseQuestion =
    "Firefox should be closed to change its setting. Do you want to close Firefox?";
