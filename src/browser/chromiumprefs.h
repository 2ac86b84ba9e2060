#pragma once

#include <optional>
#include <string>

// Chromium's (and Google Chrome's) per-profile WebRTC setting
// webrtc.ip_handling_policy in the profile's Preferences file, a JSON object.
// "disable_non_proxied_udp" keeps WebRTC from sending UDP around the proxy:
// it goes over TCP through the proxy, and sends no UDP of its own when no
// proxy is set either (so calls then need a TCP relay).

constexpr const char* kWebRtcPolicyBehindProxy = "disable_non_proxied_udp";

// The value of webrtc.ip_handling_policy as raw JSON text, as it appears in
// the file ("\"default\""); nullopt when there is none.
using RawJsonValue = std::optional<std::string>;

struct WebRtcPolicyInPrefs {
    bool isObject = false;   // the text is a JSON object; nothing else is read or written
    bool hasWebRtc = false;  // a "webrtc" member exists
    RawJsonValue policy;
    // A MAC in protection.macs guards the value: changing it would make
    // Chromium treat the file as tampered with.
    bool protectedByMac = false;
};

// Reads prefs text (the content of a Preferences or Secure Preferences file).
WebRtcPolicyInPrefs ReadWebRtcPolicy(const std::string& text);

// prefs with webrtc.ip_handling_policy set to value (raw JSON), or removed
// when value is nullopt (and the "webrtc" member with it when dropEmptyWebRtc
// and nothing else is left in it). Every other byte stays as it was: the
// member is spliced into or out of the text, and the result must parse to the
// old object with only that change. nullopt when the text is not a JSON
// object or the change cannot be made that way (a "webrtc" that is not an
// object, duplicate keys).
std::optional<std::string> WithWebRtcPolicy(const std::string& text, const RawJsonValue& value,
                                            bool dropEmptyWebRtc = false);

// JSON text of a string value.
std::string JsonString(const std::string& text);

enum class PrefsWrite {
    Written,
    Unchanged,  // the file already holds the value
    Unreadable,
    NotAnObject,  // refused, nothing written
    Unsupported,  // refused, nothing written: a "webrtc" that is no object, duplicate keys
    Protected,    // refused, nothing written (see protectedByMac)
    Failed,       // backup or replacement could not be written; the file is as it was
};

// Sets (or removes) the value in the file at path: the old bytes go to
// path + ".bkp" first, then a new file with the file's mode is renamed over
// path, so a failure at any point leaves the file whole.
PrefsWrite WriteWebRtcPolicy(const std::string& path, const RawJsonValue& value, bool dropEmptyWebRtc = false);
