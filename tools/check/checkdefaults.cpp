#include "checkdefaults.h"

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
    // The program's own defaults would ask the service for the test page.
    settings = CSettingTestItem();
    settings.testUrl = FallbackTestUrl();
    settings.correctValue = "engine";
}
