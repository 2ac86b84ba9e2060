// Loading "setting.nbx": every value ends up within its range, and a saved
// file loads back to the same file.
#include <cstring>
#include <string>

#include "data/countrycatalogue.h"
#include "fuzzsupport.h"
#include "settings/setting.h"

namespace {

void CheckRanges(CSetting& setting)
{
    FUZZ_CHECK(setting.IsLoaded());
    const CSettingAnonymousItem& anonymous = setting.GetAnonymousItem();
    FUZZ_CHECK(anonymous.elite || anonymous.anonymous || anonymous.transparent);
    const CSettingCountryItem& country = setting.GetCountryItem();
    FUZZ_CHECK(country.countryFlags.size() == static_cast<size_t>(kFuzzCountryCount));
    const CSettingTestItem& test = setting.GetTestItem();
    FUZZ_CHECK(test.testType == TestType::None || test.testType == TestType::Availability
               || test.testType == TestType::Speed);
    FUZZ_CHECK(test.threadCount >= 5 && test.threadCount <= 30);
    FUZZ_CHECK(test.timeoutSeconds >= 5 && test.timeoutSeconds <= 30);
    // Written back, each text still fits its line.
    FUZZ_CHECK(test.testUrl.size() <= 250 && test.correctValue.size() <= 240);
    const CSettingSwitchItem& switchItem = setting.GetSwitchItem();
    FUZZ_CHECK(switchItem.ratio >= 20 && switchItem.ratio <= 100);
    FUZZ_CHECK(switchItem.interval >= 1 && switchItem.interval <= 100);
}

// Loads the settings file in the work folder, checks it and saves it again.
std::string LoadAndSave()
{
    CSetting& setting = GetSetting();
    setting.ResetForTest();
    setting.Load();
    CheckRanges(setting);
    FUZZ_CHECK(setting.Save());
    return ReadFuzzFile(FuzzWorkDir() + "/" + kSettingFileName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteFuzzFile(kSettingFileName, data, size);
    FUZZ_CHECK(GetCountryCatalogue().Count() == kFuzzCountryCount);
    const std::string saved = LoadAndSave();
    FUZZ_CHECK(LoadAndSave() == saved);
    return 0;
}
