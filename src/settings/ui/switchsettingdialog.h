#pragma once

#include "settings/ui/settingpage.h"

class IPrompt;
class QCheckBox;

// The "Switch Proxy Setting" page: which browsers follow the applied proxy.
// The system settings always apply (IE and Chrome follow them); Firefox
// follows them only while its profile lacks a proxy-type preference.
class CSwitchSettingDialog : public CSettingPage {
    Q_OBJECT

public:
    // The question to close a running Firefox goes through prompt.
    explicit CSwitchSettingDialog(IPrompt& prompt, QWidget* parent = nullptr);

    void LoadFromSetting() override;
    void SaveToSetting() override;

private:
    IPrompt& prompt_;
    QCheckBox* systemCheck_;
    QCheckBox* firefoxCheck_;
};
