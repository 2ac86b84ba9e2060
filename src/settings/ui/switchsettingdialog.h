#pragma once

#include "settings/ui/settingpage.h"

class QCheckBox;

// The "Switch Proxy Setting" page: which browsers follow the applied proxy.
// The system settings always apply (IE and Chrome follow them); Firefox
// follows them only while its profile lacks a proxy-type preference.
class CSwitchSettingDialog : public CSettingPage {
    Q_OBJECT

public:
    explicit CSwitchSettingDialog(QWidget* parent = nullptr);

    void LoadFromSetting() override;
    void SaveToSetting() override;

private:
    QCheckBox* systemCheck_;
    QCheckBox* firefoxCheck_;
};
