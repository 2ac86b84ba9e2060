#include "browser/webrtcpolicy.h"
#include "browser/prefsfile.h"

#include <glib.h>

#include <filesystem>
#include <memory>

#include "browser/chromiumprefs.h"
#include "browser/firefox.h"
#include "browser/savedproxysettings.h"

namespace {

constexpr const char* kPolicyKey = "Policy";
constexpr const char* kHadWebRtcKey = "HadWebRtc";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

// The values from before, as kept in the saved-values file.
class SavedValues {
public:
    explicit SavedValues(std::string path) : path_(std::move(path)), file_(g_key_file_new())
    {
        g_key_file_load_from_file(file_.get(), path_.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    }

    bool Has(const std::string& prefs) const { return g_key_file_has_group(file_.get(), prefs.c_str()); }
    RawJsonValue Policy(const std::string& prefs) const
    {
        gchar* value = g_key_file_get_string(file_.get(), prefs.c_str(), kPolicyKey, nullptr);
        RawJsonValue policy;
        if (value)
            policy = value;
        g_free(value);
        return policy;
    }
    bool HadWebRtc(const std::string& prefs) const
    {
        return g_key_file_get_boolean(file_.get(), prefs.c_str(), kHadWebRtcKey, nullptr);
    }
    bool Remember(const std::string& prefs, const WebRtcPolicyInPrefs& before)
    {
        if (before.policy)
            g_key_file_set_string(file_.get(), prefs.c_str(), kPolicyKey, before.policy->c_str());
        g_key_file_set_boolean(file_.get(), prefs.c_str(), kHadWebRtcKey, before.hasWebRtc);
        return Store();
    }
    void Forget(const std::string& prefs)
    {
        g_key_file_remove_group(file_.get(), prefs.c_str(), nullptr);
        Store();
    }

private:
    bool Store()
    {
        gsize length = 0;
        gchar** groups = g_key_file_get_groups(file_.get(), &length);
        g_strfreev(groups);
        if (length == 0) {
            std::error_code error;
            std::filesystem::remove(path_, error);
            return !error;
        }
        g_mkdir_with_parents(std::filesystem::path(path_).parent_path().c_str(), 0700);
        return g_key_file_save_to_file(file_.get(), path_.c_str(), nullptr);
    }

    std::string path_;
    KeyFilePtr file_;
};

// The file's bytes, "" when it cannot be read (which no JSON object is).
std::string ReadText(const std::string& path)
{
    std::string text;
    ReadWholeFile(path, text);
    return text;
}

bool GuardedByMac(const std::string& prefs, const WebRtcPolicyInPrefs& now)
{
    // Some builds keep the MACs in Secure Preferences beside Preferences.
    const std::string secure = std::filesystem::path(prefs).parent_path().string() + "/Secure Preferences";
    return now.protectedByMac || ReadWebRtcPolicy(ReadText(secure)).protectedByMac;
}

enum class Step { Done, Change };

// What the profile needs, from its current Preferences; outcome is set when
// nothing is to be written.
Step Decide(const std::string& prefs, bool keep, SavedValues& saved, WebRtcOutcome& outcome)
{
    const WebRtcPolicyInPrefs now = ReadWebRtcPolicy(ReadText(prefs));
    const std::string ours = JsonString(kWebRtcPolicyBehindProxy);
    if (!now.isObject) {
        outcome = WebRtcOutcome::Failed;
        return Step::Done;
    }
    if (keep && now.policy == ours) {
        outcome = WebRtcOutcome::BehindProxy;
        return Step::Done;
    }
    if (!keep && (!saved.Has(prefs) || now.policy != ours)) {
        // Nothing of ours to take back: the user (or an extension) chose since.
        if (saved.Has(prefs))
            saved.Forget(prefs);
        outcome = WebRtcOutcome::PutBack;
        return Step::Done;
    }
    if (GuardedByMac(prefs, now)) {
        outcome = WebRtcOutcome::Protected;
        return Step::Done;
    }
    return Step::Change;
}

WebRtcOutcome Change(const std::string& prefs, bool keep, SavedValues& saved)
{
    if (keep) {
        // The value from before is on disk before the file changes.
        const WebRtcPolicyInPrefs before = ReadWebRtcPolicy(ReadText(prefs));
        if (!saved.Has(prefs) && !saved.Remember(prefs, before))
            return WebRtcOutcome::Failed;
        const PrefsWrite written = WriteWebRtcPolicy(prefs, JsonString(kWebRtcPolicyBehindProxy));
        if (written == PrefsWrite::Protected)
            return WebRtcOutcome::Protected;
        return written == PrefsWrite::Written || written == PrefsWrite::Unchanged ? WebRtcOutcome::BehindProxy
                                                                                  : WebRtcOutcome::Failed;
    }
    const PrefsWrite written = WriteWebRtcPolicy(prefs, saved.Policy(prefs), !saved.HadWebRtc(prefs));
    if (written != PrefsWrite::Written && written != PrefsWrite::Unchanged)
        return written == PrefsWrite::Protected ? WebRtcOutcome::Protected : WebRtcOutcome::Failed;
    saved.Forget(prefs);
    return WebRtcOutcome::PutBack;
}

WebRtcOutcome KeepOne(const ChromiumBrowser& browser, bool keep, IQuestion& question, SavedValues& saved)
{
    const std::string managed = ManagedWebRtcPolicy(browser);
    if (!managed.empty())
        return !keep                                 ? WebRtcOutcome::PutBack
               : managed == kWebRtcPolicyBehindProxy ? WebRtcOutcome::BehindProxy
                                                     : WebRtcOutcome::Policy;
    const std::string prefs = ChromiumProfilePreferences(browser);
    if (prefs.empty())
        return keep ? WebRtcOutcome::NoProfile : WebRtcOutcome::PutBack;
    WebRtcOutcome outcome = WebRtcOutcome::Failed;
    if (Decide(prefs, keep, saved, outcome) == Step::Done)
        return outcome;

    // Terminate, rewrite, start: Chromium writes Preferences while it shuts
    // down, so the file is read again once it has ended.
    const int pid = RunningChromium(browser);
    if (pid != 0) {
        if (!question.AskYesNo(ChromiumCloseQuestion(browser.name)) || !TerminateChromium(pid))
            return WebRtcOutcome::NotClosed;
        if (Decide(prefs, keep, saved, outcome) == Step::Change)
            outcome = Change(prefs, keep, saved);
        StartChromium(browser);
        return outcome;
    }
    return Change(prefs, keep, saved);
}

std::string Where(const ChromiumBrowser& browser)
{
    if (!ManagedWebRtcPolicy(browser).empty())
        return browser.policyDir;
    const std::string prefs = ChromiumProfilePreferences(browser);
    return prefs.empty() ? browser.userDataDir : prefs;
}

}  // namespace

std::string ChromiumCloseQuestion(const std::string& name)
{
    return name + " should be closed to change its setting. Do you want to close " + name + "?";
}

std::string WebRtcSavedValuesPath()
{
    return SavedProxySettingsPath("webrtc-policy");
}

std::vector<WebRtcResult> KeepWebRtcBehindProxy(const std::vector<ChromiumBrowser>& browsers, bool keep,
                                                IQuestion& question, const std::string& savedValues)
{
    SavedValues saved(savedValues);
    std::vector<WebRtcResult> results;
    for (const ChromiumBrowser& browser : browsers)
        results.push_back({browser.name, KeepOne(browser, keep, question, saved), Where(browser)});
    return results;
}

std::vector<WebRtcResult> WebRtcAsItIs(const std::vector<ChromiumBrowser>& browsers)
{
    std::vector<WebRtcResult> results;
    for (const ChromiumBrowser& browser : browsers) {
        const std::string managed = ManagedWebRtcPolicy(browser);
        const std::string prefs = ChromiumProfilePreferences(browser);
        WebRtcOutcome outcome = WebRtcOutcome::Exposed;
        if (!managed.empty())
            outcome = managed == kWebRtcPolicyBehindProxy ? WebRtcOutcome::BehindProxy : WebRtcOutcome::Policy;
        else if (prefs.empty())
            outcome = WebRtcOutcome::NoProfile;
        else if (ReadWebRtcPolicy(ReadText(prefs)).policy == JsonString(kWebRtcPolicyBehindProxy))
            outcome = WebRtcOutcome::BehindProxy;
        results.push_back({browser.name, outcome, Where(browser)});
    }
    return results;
}

std::string WebRtcLeakMessage(const WebRtcResult& result)
{
    std::string why;
    // A browser that never ran (NoProfile) has nothing to change yet; the
    // next Hide IP after its first start sets it.
    switch (result.outcome) {
    case WebRtcOutcome::BehindProxy:
    case WebRtcOutcome::PutBack:
    case WebRtcOutcome::NoProfile: return std::string();
    case WebRtcOutcome::NotClosed:
        why = "it was not closed, so its setting could not be changed. Close it and press Hide IP again.";
        break;
    case WebRtcOutcome::Protected:
        why = "its profile protects the setting webrtc.ip_handling_policy (" + result.where
              + "), so Velmora leaves it alone. Limit WebRTC in the browser itself, for example with an extension.";
        break;
    case WebRtcOutcome::Policy:
        why = "a policy of this computer (WebRtcIPHandling in " + result.where
              + ") lets it go around the proxy, and no setting of yours can change that.";
        break;
    case WebRtcOutcome::Failed: why = "its settings file " + result.where + " could not be changed."; break;
    case WebRtcOutcome::Exposed:
        why = "turn on \"Keep WebRTC behind the proxy\" in Setting, Switch Proxy Setting, to keep it behind the "
              "proxy.";
        break;
    }
    return "WebRTC in " + result.browser + " can show web pages your real address; " + why;
}
