#pragma once

#include "settings/ui/settingpage.h"

#include <functional>

class CDigitSpinBox;
class QLabel;
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

    // How SaveToSetting gives the whole test section its defaults when a text
    // is empty. That asks the service for the test target, so the settings
    // dialog runs it off the GUI thread; by default it runs in place.
    void SetSectionReset(std::function<void()> reset) { sectionReset_ = std::move(reset); }

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
    QLabel* targetOrigin_;  // whose test page is in use: the service's or the user's
    std::function<void()> sectionReset_;
};
