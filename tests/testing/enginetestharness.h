#pragma once

#include <string>
#include <vector>

#include "data/proxy.h"
#include "data/windowmessages.h"
#include "settings/settingtestitem.h"
#include "support/socksfixture.h"
#include "support/ui/recordingmessagetarget.h"
#include "testing/testflags.h"

// lParam of every progress message (wParam 0), in arrival order.
inline std::vector<long long> ProgressCounts(const CRecordingMessageTarget& target)
{
    std::vector<long long> counts;
    for (const auto& m : target.Messages())
        if (m.message == kMsgTestProgress && m.wParam == 0)
            counts.push_back(m.lParam);
    return counts;
}

// A fixture SOCKS server with a loopback test page, a test section aimed at
// that page and a recording progress window, for one test.
struct EngineHarness {
    explicit EngineHarness(int timeoutSeconds = 5)
    {
        page = fixture.AddPage();
        SetTarget(SocksFixture::PageUrl(page), "engine");
        settings.threadCount = 5;
        settings.timeoutSeconds = timeoutSeconds;
        testCanceled() = false;
        progressWindow() = &target;
    }
    ~EngineHarness()
    {
        progressWindow() = nullptr;
        testCanceled() = false;
    }

    void SetTarget(const std::string& url, const std::string& expected)
    {
        snprintf(settings.testUrl, sizeof settings.testUrl, "%s", url.c_str());
        snprintf(settings.correctValue, sizeof settings.correctValue, "%s", expected.c_str());
    }

    // A proxy record for a loopback port; the other fields are recognisable.
    static CProxy Proxy(int port, int speed = kUnmeasuredSpeed)
    {
        return CProxy("127.0.0.1", port, 7, 0, 0, speed);
    }
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
    CRecordingMessageTarget target;
};

inline std::vector<int> Ports(const CProxyList& list)
{
    std::vector<int> ports;
    for (const CProxy& proxy : list)
        ports.push_back(proxy.port);
    return ports;
}
