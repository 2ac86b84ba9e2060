#include "settings/onoffsetting.h"

#include <cstdio>

#include "data/tabstdiofile.h"

void COnOffSetting::Load(bool whenMissing)
{
    CTabStdioFile file;
    std::string field;
    std::string value;
    if (file.Open(path_, CTabStdioFile::modeRead) && file.ReadField(field, true) && field == header_
        && file.FieldEquals(key_) && file.ReadField(field, false) && file.ReadField(value, true)) {
        on = value != "0";
        return;
    }
    file.Close();
    on = whenMissing;
    Save();
}

bool COnOffSetting::Save() const
{
    const std::string temporary = path_ + ".tmp";
    CTabStdioFile file;
    if (!file.Open(temporary, CTabStdioFile::modeCreate))
        return false;
    file.WriteField(header_, true);
    file.WriteField(key_, false);
    file.WriteField(on ? "1" : "0", true);
    file.Close();
    if (file.Failed() || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

COnOffSetting NewWebRtcSetting(const std::string& path)
{
    return COnOffSetting(path, "WebRTC:", "Keep Behind Proxy");
}

COnOffSetting& GetWebRtcSetting()
{
    static COnOffSetting setting = NewWebRtcSetting("webrtc.nbx");
    return setting;
}

COnOffSetting NewRotationSetting(const std::string& path)
{
    return COnOffSetting(path, "Rotation:", "Change Proxy");
}

COnOffSetting& GetRotationSetting()
{
    static COnOffSetting setting = NewRotationSetting("rotation.nbx");
    return setting;
}
