#pragma once

#include <string>

// An on/off choice of the switch page that lives in a file of its own beside
// setting.nbx: one section line and one "Key TAB 0|1" line, so that
// setting.nbx keeps its layout and a program that knows only setting.nbx
// neither stumbles on it nor drops it.
class COnOffSetting {
public:
    COnOffSetting(std::string path, std::string header, std::string key)
        : path_(std::move(path)), header_(std::move(header)), key_(std::move(key))
    {}

    // Reads the file. Without a readable one the choice is whenMissing, and
    // that choice is written at once, so it holds from then on.
    void Load(bool whenMissing);
    // Writes a new file beside the old one and renames it over; false leaves the old one.
    bool Save() const;

    bool on = false;

private:
    std::string path_;
    std::string header_;
    std::string key_;
};

// "Keep WebRTC behind the proxy": "webrtc.nbx", section "WebRTC:", line
// "Keep Behind Proxy". On when the settings were just created, off for
// settings made before the choice existed (the user has not agreed to it yet).
COnOffSetting& GetWebRtcSetting();
COnOffSetting NewWebRtcSetting(const std::string& path);
// "Change proxy every ... minutes": "rotation.nbx", section "Rotation:",
// line "Change Proxy"; off unless the user turns it on.
COnOffSetting& GetRotationSetting();
COnOffSetting NewRotationSetting(const std::string& path);
