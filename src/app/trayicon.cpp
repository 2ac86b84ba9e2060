#include "app/trayicon.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

QAction* AddItem(QMenu* menu, const char* objectName, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

}  // namespace

CTrayIcon::CTrayIcon(const QIcon& icon, std::function<TrayMenuState()> state, QObject* parent)
    : QObject(parent), menu_(new QMenu), icon_(new QSystemTrayIcon(icon, this)), state_(std::move(state))
{
    menu_->setObjectName(QStringLiteral("trayMenu"));
    openAction = AddItem(menu_, "trayOpen", QStringLiteral("Open"));
    settingAction = AddItem(menu_, "traySetting", QStringLiteral("Setting"));
    menu_->addSeparator();
    helpAction = AddItem(menu_, "trayHelp", QStringLiteral("Help"));
    websiteAction = AddItem(menu_, "trayWebsite", QStringLiteral("Official WebSite"));
    aboutAction = AddItem(menu_, "trayAbout", QStringLiteral("About Velmora..."));
    menu_->addSeparator();
    exitAction = AddItem(menu_, "trayExit", QStringLiteral("Exit"));
    connect(menu_, &QMenu::aboutToShow, this, [this] { UpdateMenu(state_()); });

    icon_->setContextMenu(menu_);
    icon_->setToolTip(QStringLiteral("Tolvane : Real IP"));
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { emit activated(static_cast<int>(reason)); });
}

CTrayIcon::~CTrayIcon()
{
    // QSystemTrayIcon does not own its menu: remove the icon before the menu.
    delete icon_;
    delete menu_;
}

void CTrayIcon::Show()
{
    icon_->show();
}

void CTrayIcon::Remove()
{
    icon_->hide();
}

void CTrayIcon::ShowMessage(const QString& text)
{
    icon_->showMessage(QStringLiteral("Velmora"), text);
}

void CTrayIcon::SetToolTip(const QString& text)
{
    icon_->setToolTip(text);
}

bool CTrayIcon::Shown() const
{
    return icon_->isVisible();
}

QString CTrayIcon::ToolTip() const
{
    return icon_->toolTip();
}

void CTrayIcon::UpdateMenu(const TrayMenuState& state)
{
    settingAction->setEnabled(!state.settingDialogOpen && !state.proxyApplied && !state.commandRunning);
    aboutAction->setEnabled(!state.aboutDialogOpen);
}
