#include "settinguitest.h"

#include <QApplication>

#include <filesystem>

#include "service/startrequest.h"
#include "settings/setting.h"
#include "support/ui/testapplication.h"

void SettingUiTest::SetUp()
{
    EnsureTestApplication();
    chdir_ = std::make_unique<ScopedChdir>(dir_.Path());
    GetSetting().ResetForTest();
    // As in the program: test-section defaults come from the service.
    GetSetting().SetTestTargetSource([] {
        DefaultTestTarget target;
        RequestTestTarget(target.url, target.expected);
        return target;
    });
    GetSetting().CreateDefaults();
}

void SettingUiTest::TearDown()
{
    GetSetting().ResetForTest();
    chdir_.reset();
}

bool SettingUiTest::SettingFileWritten() const
{
    return std::filesystem::exists(dir_.File("setting.nbx"));
}

bool SettingUiTest::SettingFileHasLine(const std::string& line) const
{
    return ("\r\n" + SettingFile()).find("\r\n" + line + "\r\n") != std::string::npos;
}
