#include "settings/webrtcsetting.h"

#include <cstdio>

#include "data/tabstdiofile.h"

namespace {

const char* const kHeader = "WebRTC:";
const char* const kKeepKey = "Keep Behind Proxy";

}  // namespace

void CWebRtcSetting::Load(bool newSettings)
{
    CTabStdioFile file;
    std::string field;
    std::string value;
    if (file.Open(path_, CTabStdioFile::modeRead) && file.ReadField(field, true) && field == kHeader
        && file.FieldEquals(kKeepKey) && file.ReadField(field, false) && file.ReadField(value, true)) {
        keepBehindProxy = value != "0";
        return;
    }
    file.Close();
    keepBehindProxy = newSettings;
    Save();
}

bool CWebRtcSetting::Save() const
{
    const std::string temporary = path_ + ".tmp";
    CTabStdioFile file;
    if (!file.Open(temporary, CTabStdioFile::modeCreate))
        return false;
    file.WriteField(kHeader, true);
    file.WriteField(kKeepKey, false);
    file.WriteField(keepBehindProxy ? "1" : "0", true);
    file.Close();
    if (file.Failed() || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

CWebRtcSetting& GetWebRtcSetting()
{
    static CWebRtcSetting setting;
    return setting;
}
