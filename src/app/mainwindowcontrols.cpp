#include "app/mainwindowcontrols.h"

#include "app/appicons.h"
#include "data/ui/prolistctrl.h"
#include "widgets/imagebutton.h"
#include "widgets/namedlabel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

const char* const kHideIpCaption = "Hide IP";
const char* const kRestoreIpCaption = "Restore IP";

namespace {

constexpr QSize kButtonSize(74, 64);
constexpr QSize kFlagSize(25, 15);

QToolButton* AddButton(QWidget* window, QLayout* row, const char* name, const char* caption, AppIconId icon,
                       const char* toolTip)
{
    QToolButton* button = MakeImageButton(window, QString::fromLatin1(name), QString::fromLatin1(caption),
                                          AppIcon(icon), QString::fromLatin1(toolTip));
    button->setFixedSize(kButtonSize);
    row->addWidget(button);
    return button;
}

QLabel* AddFlag(QWidget* window, const char* name, const char* accessibleName)
{
    QLabel* flag = MakeLabel(window, name, {});
    flag->setAccessibleName(QString::fromLatin1(accessibleName));
    flag->setFixedSize(kFlagSize);
    return flag;
}

}  // namespace

CMainWindowControls BuildMainWindowControls(QWidget* window, const CFlagImages* flags)
{
    CMainWindowControls c;

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    c.getProxyButton =
        AddButton(window, buttons, "getProxyButton", "Get Proxy", AppIconId::GetProxy, "Get proxy and Test");
    c.testSpeedButton = AddButton(window, buttons, "testSpeedButton", "Test Speed", AppIconId::TestSpeed,
                                  "Full test for proxy's availability and speed");
    c.hideIpButton = AddButton(window, buttons, "hideIpButton", kHideIpCaption, AppIconId::HideIp, "Hide your real IP");
    c.deleteButton = AddButton(window, buttons, "deleteButton", "Delete", AppIconId::Delete, "Delete selected proxies");
    c.settingButton =
        AddButton(window, buttons, "settingButton", "Setting", AppIconId::Setting, "Change configuration");
    buttons->addStretch();

    c.proxyTable = new CProListCtrl(flags, window);
    c.proxyTable->setObjectName(QStringLiteral("proxyTable"));
    c.proxyTable->setAccessibleName(QStringLiteral("Proxies"));

    c.checkIpButton = MakeImageButton(window, QStringLiteral("checkIpButton"), QStringLiteral("Check IP in Google Map"),
                                      AppIcon(AppIconId::CheckIp),
                                      QStringLiteral("Check your IP location in Google Map online"), QSize(16, 16));

    auto* addresses = new QGridLayout;
    addresses->setHorizontalSpacing(6);
    addresses->setVerticalSpacing(2);
    addresses->addWidget(MakeLabel(window, "realIpCaption", QStringLiteral("Real IP:")), 0, 0, Qt::AlignRight);
    c.realIpFlag = AddFlag(window, "realIpFlag", "Real IP flag");
    addresses->addWidget(c.realIpFlag, 0, 1);
    c.realIpLabel = MakeLabel(window, "realIpLabel", {});
    addresses->addWidget(c.realIpLabel, 0, 2);
    addresses->addWidget(MakeLabel(window, "currentIpCaption", QStringLiteral("Current IP:")), 1, 0, Qt::AlignRight);
    c.currentIpFlag = AddFlag(window, "currentIpFlag", "Current IP flag");
    addresses->addWidget(c.currentIpFlag, 1, 1);
    c.currentIpLabel = MakeLabel(window, "currentIpLabel", {});
    addresses->addWidget(c.currentIpLabel, 1, 2);
    addresses->setColumnMinimumWidth(2, 100);

    c.relayStatusLabel = MakeLabel(window, "relayStatusLabel", {});
    c.relayStatusLabel->setWordWrap(true);
    c.relayStatusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(c.relayStatusLabel, 1);
    bottom->addWidget(c.checkIpButton);
    bottom->addStretch(1);
    bottom->addLayout(addresses);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(buttons);
    layout->addWidget(c.proxyTable, 1);
    layout->addLayout(bottom);
    return c;
}
