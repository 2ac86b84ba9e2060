#include "widgets/messageboxprompt.h"

#include "widgets/appname.h"

#include <QMessageBox>

namespace {

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
    QMessageBox box(icon, title.isEmpty() ? kAppName : title, text, ToStandardButtons(buttons), parent);
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
