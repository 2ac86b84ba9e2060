#include "app/aboutdialog.h"

#include "app/appicons.h"
#include "widgets/namedlabel.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
int aboutDialogs = 0;  // GUI thread only
}

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent)
{
    ++aboutDialogs;
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Velmora"));
    setAccessibleName(windowTitle());
    // Modal to its parent only, so the tray menu stays usable while it is open.
    setWindowModality(Qt::WindowModal);

    QLabel* icon = MakeLabel(this, "aboutIcon", {});
    icon->setPixmap(AppIcon(AppIconId::Program).pixmap(48, 48));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setAccessibleName(ok->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(MakeLabel(this, "sloganLabel", QStringLiteral("Velmora : Get working socks proxy every day")), 0,
                      1);
    layout->addWidget(MakeLabel(this, "versionLabel", QStringLiteral("Version: 1.3")), 1, 1);
    layout->addWidget(MakeLabel(this, "updateLabel", QStringLiteral("Update: 10/11/2014")), 2, 1);
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
