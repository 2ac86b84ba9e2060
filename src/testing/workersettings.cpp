#include "testing/workersettings.h"

#include "settings/setting.h"

int ConfiguredThreadCount()
{
    constexpr int kDefaultThreadCount = 10;
    CSetting& setting = GetSetting();
    const CSettingTestItem* test = setting.IsLoaded() ? setting.GetTestItem() : nullptr;
    return test && test->threadCount > 0 ? test->threadCount : kDefaultThreadCount;
}
