#pragma once

#include "settings/ui/settingpage.h"

class CDigitSpinBox;
class QLineEdit;
class QRadioButton;

// The "Test Proxy Setting" page: what runs after proxies are got, and how
// proxies are tested (threads, timeout, test page and its expected text).
class CTestSettingDialog : public CSettingPage {
    Q_OBJECT

public:
    explicit CTestSettingDialog(QWidget* parent = nullptr);

    void LoadFromSetting() override;
    void SaveToSetting() override;

    // The fields the settings dialog validates.
    CDigitSpinBox* ThreadField() const { return threadField_; }
    CDigitSpinBox* TimeoutField() const { return timeoutField_; }
    QLineEdit* UrlField() const { return urlField_; }
    QLineEdit* ExpectedField() const { return expectedField_; }

private:
    QRadioButton* noTestRadio_;
    QRadioButton* availabilityRadio_;
    QRadioButton* speedRadio_;
    CDigitSpinBox* threadField_;
    CDigitSpinBox* timeoutField_;
    QLineEdit* urlField_;
    QLineEdit* expectedField_;
};
