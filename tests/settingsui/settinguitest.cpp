#include "settinguitest.h"

#include <QApplication>

#include <filesystem>

#include "settings/setting.h"
#include "support/ui/testapplication.h"

void SettingUiTest::SetUp() {
    EnsureTestApplication();
    chdir_ = std::make_unique<ScopedChdir>(dir_.Path());
    GetSetting().ResetForTest();
    GetSetting().CreateDefaults();
}

void SettingUiTest::TearDown() {
    GetSetting().ResetForTest();
    chdir_.reset();
}

bool SettingUiTest::SettingFileWritten() const {
    return std::filesystem::exists(dir_.File("setting.nbx"));
}

bool SettingUiTest::SettingFileHasLine(const std::string& line) const {
    return ("\r\n" + SettingFile()).find("\r\n" + line + "\r\n") != std::string::npos;
}
