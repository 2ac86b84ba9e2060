#pragma once

#include "settings/ui/settingpage.h"

class CDigitSpinBox;
class IPrompt;
class QCheckBox;

// The "Switch Proxy Setting" page: which browsers follow the applied proxy.
// The system settings always apply (IE and Chrome follow them); Firefox
// follows them only while its profile lacks a proxy-type preference.
// "Keep WebRTC behind the proxy" sets Chromium's and Google Chrome's WebRTC
// setting so that web pages cannot learn the real address around the proxy.
// The rotation row changes the applied proxy every few minutes among the
// fastest share of the list.
class CSwitchSettingDialog : public CSettingPage {
    Q_OBJECT

public:
    // The question to close a running Firefox goes through prompt. Without
    // firefoxFollowsDesktop (the desktop's proxy store is not one Firefox
    // reads) the Firefox box is disabled and its tooltip says why.
    explicit CSwitchSettingDialog(IPrompt& prompt, bool firefoxFollowsDesktop = true, QWidget* parent = nullptr);

    void LoadFromSetting() override;
    void SaveToSetting() override;

    CDigitSpinBox* IntervalField() const { return intervalField_; }
    CDigitSpinBox* RatioField() const { return ratioField_; }

private:
    void SaveWebRtcChoice();

    IPrompt& prompt_;
    bool firefoxFollowsDesktop_;
    QCheckBox* systemCheck_;
    QCheckBox* firefoxCheck_;
    QCheckBox* webrtcCheck_;
    QCheckBox* rotationCheck_;
    CDigitSpinBox* intervalField_;
    CDigitSpinBox* ratioField_;
};
