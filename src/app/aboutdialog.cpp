#include "app/aboutdialog.h"

#include "app/appicons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

int aboutDialogs = 0;   // GUI thread only

QLabel* AddLabel(QWidget* parent, const char* objectName, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setAccessibleName(text);
    return label;
}

} // namespace

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent)
{
    ++aboutDialogs;
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Velmora"));
    setAccessibleName(windowTitle());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(AppIcon(AppIconId::Program).pixmap(48, 48));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setAccessibleName(ok->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(AddLabel(this, "sloganLabel", QStringLiteral("Velmora : Get working socks proxy every day")), 0, 1);
    layout->addWidget(AddLabel(this, "versionLabel", QStringLiteral("Version: 1.3")), 1, 1);
    layout->addWidget(AddLabel(this, "updateLabel", QStringLiteral("Update: 10/11/2014")), 2, 1);
    layout->addWidget(buttons, 3, 0, 1, 2);
    layout->setHorizontalSpacing(16);
    setFixedSize(sizeHint());
}

CAboutDialog::~CAboutDialog()
{
    --aboutDialogs;
}

bool AboutDialogOpen()
{
    return aboutDialogs > 0;
}
