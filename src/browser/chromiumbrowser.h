#pragma once

#include <string>
#include <vector>

// One Chromium-based browser of this user: its name for the user, its
// user-data folder, the command that starts it and the folder of the
// machine's mandatory policies for it.
struct ChromiumBrowser {
    std::string name;         // "Chromium"
    std::string userDataDir;  // ~/.config/chromium
    std::string launcher;     // "chromium", looked up on PATH (or a full path)
    std::string policyDir;    // /etc/chromium/policies/managed
};

// Chromium and Google Chrome under configHome (else home/.config), with
// Snap's Chromium between them, whether or not their folders exist.
std::vector<ChromiumBrowser> ChromiumBrowsers(const std::string& home, const std::string& configHome);
// The same from HOME and XDG_CONFIG_HOME.
std::vector<ChromiumBrowser> ChromiumBrowsersOfUser();

// The Preferences file of the profile in use: Local State's
// profile.last_used, else "Default". "" when that profile has no Preferences.
std::string ChromiumProfilePreferences(const ChromiumBrowser& browser);

// The WebRtcIPHandling value a mandatory machine policy sets (the first
// *.json of policyDir, in name order, that sets it); "" when none does.
std::string ManagedWebRtcPolicy(const ChromiumBrowser& browser);

// Id of the browser process that holds the user-data folder (its
// SingletonLock names this host and a live process of this user), or 0.
int RunningChromium(const ChromiumBrowser& browser);
// Asks the process to end and waits until it has (Chromium writes
// Preferences while shutting down); true when it ended.
bool TerminateChromium(int pid);
// Starts the launcher without arguments, detached from this program.
bool StartChromium(const ChromiumBrowser& browser);
