#pragma once

#include <QWidget>

// A tab page of the settings dialog. It moves values between its controls and
// the process-wide settings, and keeps Enter and Escape to itself so that
// neither closes the dialog from inside a page.
class CSettingPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    virtual void LoadFromSetting() = 0;
    virtual void SaveToSetting() = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;

    // Gives a control its object name, its caption as accessible name and its tooltip.
    template <typename Control>
    static Control* Named(Control* control, const QString& objectName, const QString& caption,
                          const QString& toolTip = {})
    {
        control->setObjectName(objectName);
        control->setAccessibleName(caption);
        control->setToolTip(toolTip);
        return control;
    }
};
