#include "browser/firefox.h"

#include <cstdlib>

#include "browser/firefoxinstall.h"
#include "browser/firefoxprofile.h"

namespace {

struct FirefoxLookup {
    bool done = false;
    FirefoxPaths paths;
};

FirefoxLookup& Lookup()
{
    static FirefoxLookup lookup;
    return lookup;
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

FirefoxPaths& GetFirefoxPaths()
{
    FirefoxLookup& lookup = Lookup();
    if (!lookup.done) {
        lookup.done = true;
        lookup.paths.exePath = FindFirefoxInstall(Environment("PATH"), DefaultFirefoxInstallPatterns());
        lookup.paths.prefsPath =
            FindFirefoxProfile(FirefoxProfileRoots(Environment("HOME"), Environment("XDG_CONFIG_HOME")),
                               FirefoxInstallFolder(lookup.paths.exePath));
    }
    return lookup.paths;
}

void ResetFirefoxPathsForTest()
{
    Lookup() = FirefoxLookup();
}

void ChangeFirefoxPrefs(const FirefoxPaths& paths, bool follow, IQuestion& question, const std::string& closeQuestion)
{
    const int pid = FindFirefoxProcess(paths);
    if (pid == 0) {
        SetPrefsFollowSystem(paths, follow);
        return;
    }
    // Terminate, rewrite, start: Firefox saves prefs.js while it shuts down.
    if (question.AskYesNo(closeQuestion) && TerminateFirefox(paths, pid)) {
        SetPrefsFollowSystem(paths, follow);
        StartFirefox(paths);
    }
}

void ReconcileFirefoxAtStart(bool firefoxFollowsSystem, IQuestion& question)
{
    const FirefoxPaths& paths = GetFirefoxPaths();
    bool follows = true;
    if (!PrefsFollowSystem(paths, follows) || follows || !firefoxFollowsSystem)
        return;
    ChangeFirefoxPrefs(paths, true, question, kFirefoxReconcileQuestion);
}
