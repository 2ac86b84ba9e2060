#include "browser/firefox.h"

#include <cstdlib>

#include "browser/firefoxinstall.h"
#include "browser/firefoxprofile.h"
#include "settings/setting.h"

namespace {

struct FirefoxLookup {
    bool done = false;
    FirefoxPaths paths;
};

FirefoxLookup& Lookup() {
    static FirefoxLookup lookup;
    return lookup;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

FirefoxPaths& GetFirefoxPaths() {
    FirefoxLookup& lookup = Lookup();
    if (!lookup.done) {
        lookup.done = true;
        lookup.paths.exePath = FindFirefoxInstall(Environment("PATH"), DefaultFirefoxInstallPatterns());
        lookup.paths.prefsPath =
            FindFirefoxProfile(FirefoxProfileRoots(Environment("HOME"), Environment("XDG_CONFIG_HOME")));
    }
    return lookup.paths;
}

void ResetFirefoxPathsForTest() { Lookup() = FirefoxLookup(); }

void ReconcileFirefoxAtStart(IQuestion& question) {
    const FirefoxPaths& paths = GetFirefoxPaths();
    bool follows = true;
    if (!PrefsFollowSystem(paths, follows) || follows)
        return;
    const CSettingSwitchItem* switchItem = GetSetting().GetSwitchItem();
    if (!switchItem || !switchItem->firefox)
        return;
    const int pid = FindFirefoxProcess(paths);
    if (pid == 0) {
        SetPrefsFollowSystem(paths, true);
        return;
    }
    if (question.AskYesNo(kFirefoxReconcileQuestion) && TerminateFirefox(paths, pid)) {
        SetPrefsFollowSystem(paths, true);
        StartFirefox(paths);
    }
}
