#pragma once

#include <QDialog>

#include <functional>

#include "settings/ui/settingdialogopen.h"

class CSwitchSettingDialog;
class CTestSettingDialog;
class IPrompt;
class QTabWidget;

// The window-modal "Setting" dialog: a test page and a switch page in tabs, with OK,
// Cancel and "Reset to Defaults". It edits the process-wide settings in place
// and saves the settings file on OK and on a confirmed reset.
class CSettingDialog : public QDialog {
    Q_OBJECT

public:
    // Messages and questions go through prompt.
    // firefoxFollowsDesktop: whether Firefox reads the desktop's proxy store
    // (see CSwitchSettingDialog).
    explicit CSettingDialog(IPrompt& prompt, QWidget* parent = nullptr, bool firefoxFollowsDesktop = true);
    ~CSettingDialog() override;

    // Checks the test page's fields in order and reports the first failure:
    // message box, test tab selected, focus on the field. False on failure.
    bool Validate();

private:
    void OnTabChanged(int index);
    void OnOk();
    void OnResetToDefaults();
    void LoadPages();
    // Runs a settings change that asks the service (the test target) off the
    // GUI thread, the dialog busy meanwhile but painted, the tray usable.
    void RunServiceRequest(const std::function<void()>& request);
    bool ReportInvalid(const QString& message, QWidget* field);

    IPrompt& prompt_;
    QTabWidget* tabs_;
    CTestSettingDialog* testPage_;
    CSwitchSettingDialog* switchPage_;
    int shownTab_ = 0;  // the page in front before a tab change
};
