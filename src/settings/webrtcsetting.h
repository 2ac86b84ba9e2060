#pragma once

#include <string>

// "Keep WebRTC behind the proxy" of the switch page. It lives in a file of
// its own beside setting.nbx, "webrtc.nbx" (one section "WebRTC:" with the
// line "Keep Behind Proxy TAB 0|1"), so that setting.nbx keeps its layout and
// a program that knows only setting.nbx neither stumbles on it nor drops it.
class CWebRtcSetting {
public:
    explicit CWebRtcSetting(std::string path = "webrtc.nbx") : path_(std::move(path)) {}

    // Reads the file. Without a readable one the choice is newSettings: on
    // when the settings were just created, off for settings made before the
    // choice existed (the user has not agreed to it yet); that choice is
    // written at once, so it holds from then on.
    void Load(bool newSettings);
    // Writes a new file beside the old one and renames it over; false leaves the old one.
    bool Save() const;

    bool keepBehindProxy = true;

private:
    std::string path_;
};

CWebRtcSetting& GetWebRtcSetting();
