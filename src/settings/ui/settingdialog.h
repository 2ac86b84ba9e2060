#pragma once

#include <QDialog>

#include "settings/ui/settingdialogopen.h"

class CSwitchSettingDialog;
class CTestSettingDialog;
class IPrompt;
class QTabWidget;

// The modal "Setting" dialog: a test page and a switch page in tabs, with OK,
// Cancel and "Reset to Defaults". It edits the process-wide settings in place
// and saves the settings file on OK and on a confirmed reset.
class CSettingDialog : public QDialog {
    Q_OBJECT

public:
    // Messages and questions go through prompt.
    explicit CSettingDialog(IPrompt& prompt, QWidget* parent = nullptr);
    ~CSettingDialog() override;

    // Checks the test page's fields in order and reports the first failure:
    // message box, test tab selected, focus on the field. False on failure.
    bool Validate();

private:
    void OnTabChanged(int index);
    void OnOk();
    void OnResetToDefaults();
    void LoadPages();
    bool ReportInvalid(const QString& message, QWidget* field);

    IPrompt& prompt_;
    QTabWidget* tabs_;
    CTestSettingDialog* testPage_;
    CSwitchSettingDialog* switchPage_;
};
