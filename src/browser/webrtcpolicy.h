#pragma once

#include <string>
#include <vector>

#include "browser/chromiumbrowser.h"

class IQuestion;

// What became of one browser's WebRTC setting.
enum class WebRtcOutcome {
    BehindProxy,  // the profile (or a machine policy) keeps WebRTC behind the proxy
    PutBack,      // the value from before is back, or there was nothing to put back
    NoProfile,    // the browser has no profile to change (never started, or not installed)
    NotClosed,    // the browser runs and was not closed (the user said no, or it did not end)
    Protected,    // a MAC guards the value; changing it would break the profile
    Policy,       // a machine policy sets another value; no user setting can change it
    Failed,       // the Preferences file could not be read, parsed or written
    Exposed,      // left as it is (the user did not agree), and WebRTC goes around the proxy
};

struct WebRtcResult {
    std::string browser;
    WebRtcOutcome outcome;
    std::string where;  // the Preferences file or the policy folder it is about
};

// "<name> should be closed to change its setting. Do you want to close <name>?"
std::string ChromiumCloseQuestion(const std::string& name);

// ${XDG_STATE_HOME:-~/.local/state}/velmora/webrtc-policy.ini: the values the
// profiles held before this program changed them, one group per Preferences file.
std::string WebRtcSavedValuesPath();

// keep true: sets webrtc.ip_handling_policy to "disable_non_proxied_udp" in
// the profile in use of each browser that has one; the value from before is
// kept in savedValues first. keep false: puts that value back where the
// profile still holds ours. A running browser is closed first when the user
// answers yes to ChromiumCloseQuestion, and started again afterwards; the
// file is changed only once the browser has ended.
std::vector<WebRtcResult> KeepWebRtcBehindProxy(const std::vector<ChromiumBrowser>& browsers, bool keep,
                                                IQuestion& question, const std::string& savedValues);

// Changes nothing: BehindProxy where a profile or a machine policy already
// keeps WebRTC behind the proxy, Policy where a policy lets it around,
// NoProfile, else Exposed.
std::vector<WebRtcResult> WebRtcAsItIs(const std::vector<ChromiumBrowser>& browsers);

// "WebRTC in <browser> can show web pages your real address; " and what
// stands in the way, for an outcome that leaves WebRTC around the proxy while
// one is applied; "" for the others.
std::string WebRtcLeakMessage(const WebRtcResult& result);
