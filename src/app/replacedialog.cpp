#include "app/replacedialog.h"

#include "settings/setting.h"
#include "widgets/namedlabel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QRadioButton* MakeRadio(QWidget* parent, const char* objectName, const QString& text)
{
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(QString::fromLatin1(objectName));
    radio->setAccessibleName(text);
    return radio;
}

void NameButton(QDialogButtonBox* box, QDialogButtonBox::StandardButton which, const char* objectName)
{
    QPushButton* button = box->button(which);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAccessibleName(button->text());
}

}  // namespace

CReplaceDialog::CReplaceDialog(QWidget* parent)
    : QDialog(parent),
      replaceButton_(MakeRadio(this, "replaceRadio", QStringLiteral("Replace current proxies with new proxies."))),
      appendButton_(MakeRadio(this, "appendRadio", QStringLiteral("Append new proxies to current proxies")))
{
    setObjectName(QStringLiteral("replaceDialog"));
    setWindowTitle(QStringLiteral("Replace or Append"));
    setAccessibleName(windowTitle());
    // Modal to its parent only, so the tray menu stays usable while it is open.
    setWindowModality(Qt::WindowModal);

    const QString question = QStringLiteral("How do you want to dispose current proxies?");
    QLabel* label = MakeLabel(this, "replaceQuestion", question);

    (GetSetting().GetMiscItem().replaceByGet ? replaceButton_ : appendButton_)->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    NameButton(buttons, QDialogButtonBox::Ok, "okButton");
    NameButton(buttons, QDialogButtonBox::Cancel, "cancelButton");
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CReplaceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(replaceButton_);
    layout->addWidget(appendButton_);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}

void CReplaceDialog::accept()
{
    GetSetting().SetFlag(SettingKey::ReplaceByGet, replaceButton_->isChecked());
    GetSetting().Save();
    QDialog::accept();
}
