#pragma once

#include "settings/settingitem.h"

// Section "Test:": how proxies are tested. Test threads read it during a run.
class CSettingTestItem : public CSettingItem {
public:
    int testType = 0;        // 0 no test, 1 availability test, 2 speed test
    int threadCount = 0;     // worker threads of a run, 5 to 30
    int timeoutSeconds = 0;  // time allowed per proxy, 5 to 30
    char correctValue[256] = {};  // text a good test page contains
    char testUrl[256] = {};       // page fetched through each proxy

    bool Read(CTabStdioFile& file) override;
    void Write(CTabStdioFile& file) override;
    // Also asks the service for the test target (one request); falls back to
    // FallbackTestUrl() and "engine" when the answer is unusable.
    void SetDefaults() override;
};
