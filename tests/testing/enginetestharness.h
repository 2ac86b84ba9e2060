#pragma once

#include <string>
#include <vector>

#include "data/proxy.h"
#include "settings/setting.h"
#include "socksfixture.h"
#include "support/recordingprogress.h"

// A fixture SOCKS server with a loopback test page, a test section aimed at
// that page and a recording progress listener, for one test.
struct EngineHarness {
    explicit EngineHarness(int timeoutSeconds = 5)
    {
        page = fixture.AddPage();
        SetTarget(SocksFixture::PageUrl(page), "engine");
        settings.threadCount = 5;
        settings.timeoutSeconds = timeoutSeconds;
    }

    void SetTarget(const std::string& url, const std::string& expected)
    {
        settings.testUrl = url.c_str();
        settings.correctValue = expected.c_str();
    }

    // A proxy record for a loopback port; the other fields are recognisable.
    static CProxy Proxy(int port, int speed = kUnmeasuredSpeed) { return CProxy("127.0.0.1", port, 7, 0, 0, speed); }
    int Socks(SocksBehaviour behaviour = {}) { return fixture.AddSocks(behaviour); }
    int Serving(const std::string& answer)
    {
        SocksBehaviour behaviour;
        behaviour.action = SocksBehaviour::Action::Serve;
        behaviour.answers = {answer};
        return fixture.AddSocks(behaviour);
    }

    SocksFixture fixture;
    int page = 0;
    CSettingTestItem settings;
    CRecordingProgress progress;
};

inline std::vector<int> Ports(const CProxyList& list)
{
    std::vector<int> ports;
    for (const CProxy& proxy : list)
        ports.push_back(proxy.port);
    return ports;
}
