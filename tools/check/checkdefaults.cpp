#include "checkdefaults.h"

#include <cstdio>
#include <string>

#include "data/tabstdiofile.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"

namespace {
bool ReadTestSection(CSettingTestItem& settings)
{
    CTabStdioFile file;
    if (!file.Open(kSettingFileName, CTabStdioFile::modeRead))
        return false;
    std::string field;
    while (file.ReadLine()) {
        if (file.FieldCount() == 1 && file.ReadField(field, true) && field == "Test:")
            return settings.Read(file);
    }
    return false;
}
}  // namespace

void LoadTestDefaults(CSettingTestItem& settings)
{
    if (ReadTestSection(settings))
        return;
    // CSettingTestItem::SetDefaults would ask the service for the test page.
    settings.testType = 2;
    settings.threadCount = 10;
    settings.timeoutSeconds = 20;
    std::snprintf(settings.testUrl, sizeof settings.testUrl, "%s", FallbackTestUrl());
    std::snprintf(settings.correctValue, sizeof settings.correctValue, "%s", "engine");
}
