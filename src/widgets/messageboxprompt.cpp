#include "widgets/messageboxprompt.h"

#include "widgets/appname.h"
#include "widgets/windowplacement.h"

#include <QMessageBox>

namespace {

// A message box centred on the screen when its parent is not shown yet.
class CPlacedMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);  // gives the box its size
        CentreOnScreenWithoutShownParent(this);
    }
};

QMessageBox::StandardButtons ToStandardButtons(IPrompt::Buttons buttons)
{
    switch (buttons) {
    case IPrompt::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case IPrompt::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case IPrompt::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case IPrompt::Ok:
    case IPrompt::Info: break;
    }
    return QMessageBox::Ok;
}

IPrompt::Answer ToAnswer(int button)
{
    switch (button) {
    case QMessageBox::Ok: return IPrompt::AnsOk;
    case QMessageBox::Yes: return IPrompt::AnsYes;
    case QMessageBox::No: return IPrompt::AnsNo;
    default: return IPrompt::AnsCancel;  // Cancel, Escape, closing the box
    }
}

}  // namespace

IPrompt::Answer CMessageBoxPrompt::Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title)
{
    const QMessageBox::Icon icon = buttons == Ok     ? QMessageBox::Warning
                                   : buttons == Info ? QMessageBox::Information
                                                     : QMessageBox::Question;
    CPlacedMessageBox box(icon, title.isEmpty() ? kAppName : title, text, ToStandardButtons(buttons), parent);
    box.setObjectName(QStringLiteral("promptBox"));
    box.setAccessibleName(box.windowTitle());
    // Modal to its parent only, so the tray menu stays usable while it is open.
    box.setWindowModality(Qt::WindowModal);
    if (buttons == YesNo || buttons == YesNoCancel)
        box.setDefaultButton(QMessageBox::Yes);
    else
        box.setDefaultButton(QMessageBox::Ok);
    if (buttons == YesNo)
        box.setEscapeButton(QMessageBox::No);
    return ToAnswer(box.exec());
}
