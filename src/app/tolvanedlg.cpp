#include "app/tolvanedlg.h"

#include "app/aboutdialog.h"
#include "app/appicons.h"
#include "app/commands.h"
#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/trayicon.h"
#include "browser/systemproxy.h"
#include "data/countrycatalogue.h"
#include "data/ui/prolistctrl.h"
#include "settings/setting.h"
#include "settings/ui/settingdialogopen.h"
#include "widgets/appname.h"
#include "widgets/prompt.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>

CTolvaneDlg::CTolvaneDlg(CDesktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), controls_(BuildMainWindowControls(this, &flags_)), ipHiding_(*this),
      tray_(new CTrayIcon(
          AppIcon(AppIconId::Program),
          [] {
              return TrayMenuState{SettingDialogOpen(), GetHideState().hidden, AboutDialogOpen(),
                                   CCommandScope::Running()};
          },
          this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kAppName);
    setAccessibleName(kAppName);
    setWindowIcon(AppIcon(AppIconId::Program));
    FitSize();
    ConnectCommands();
}

CTolvaneDlg::~CTolvaneDlg()
{
    GetSetting().SetChangedCallback({});
}

void CTolvaneDlg::ConnectCommands()
{
    const CMainWindowControls& c = controls_;
    connect(c.getProxyButton, &QToolButton::clicked, this, [this] { GetProxyCommand(*this); });
    connect(c.testSpeedButton, &QToolButton::clicked, this, [this] { TestSpeedCommand(*this); });
    connect(c.hideIpButton, &QToolButton::clicked, this, [this] { ipHiding_.OnHideRestoreClicked(); });
    connect(c.deleteButton, &QToolButton::clicked, this, [this] { RemoveSelectedCommand(*this); });
    connect(c.settingButton, &QToolButton::clicked, this, [this] { SettingCommand(*this); });
    connect(c.checkIpButton, &QToolButton::clicked, this, [this] { OpenProxyListSiteCommand(*this); });
    connect(c.proxyTable->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortByColumnCommand(*this, column); });

    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &CTolvaneDlg::HideToTray);
    connect(new QShortcut(QKeySequence(Qt::Key_Delete), this), &QShortcut::activated, this,
            [this] { RemoveSelectedCommand(*this); });
    // F1, the desktop's help key, shows the About box: without a tray it is
    // the way to it from the window (the table's menu has it too, with rows).
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            [this] { AboutCommand(*this); });

    // Queued: the menu and the table's own event handling finish first.
    connect(tray_, &CTrayIcon::activated, this, &CTolvaneDlg::OnTrayActivated, Qt::QueuedConnection);
    connect(
        c.proxyTable, &CProListCtrl::contextMenuRequested, this,
        [this](const QPoint& globalPos) { ShowTableContextMenu(*this, globalPos); }, Qt::QueuedConnection);
    connect(tray_->openAction, &QAction::triggered, this, &CTolvaneDlg::ShowFromTray);
    connect(tray_->settingAction, &QAction::triggered, this, [this] { SettingCommand(*this); });
    connect(tray_->helpAction, &QAction::triggered, this, [this] { OpenHelpPageCommand(*this); });
    connect(tray_->websiteAction, &QAction::triggered, this, [this] { OpenHomePageCommand(*this); });
    connect(tray_->aboutAction, &QAction::triggered, this, [this] { AboutCommand(*this); });
    connect(tray_->exitAction, &QAction::triggered, this, &CTolvaneDlg::RequestExit);
}

void CTolvaneDlg::OnTrayActivated(int reason)
{
    // The menu shows by itself on a right-click (and greys its items then).
    if (reason == QSystemTrayIcon::DoubleClick)
        ShowFromTray();
}

void CTolvaneDlg::LoadFlagImages()
{
    flags_.Load(GetCountryCatalogue());
}

void CTolvaneDlg::RefillProxyTable()
{
    const long long timeout = GetSetting().GetTestItem().timeoutSeconds * 1000LL;
    Table()->Refill(GetProxyList(), static_cast<int>(std::clamp(timeout, 0LL, static_cast<long long>(INT_MAX))));
}

void CTolvaneDlg::ProxyListChanged(ListOrder order)
{
    if (order == ListOrder::ByHeader)
        SortProxyList(GetProxyList(), sortState_.key, sortState_.normalOrder);
    RefillProxyTable();
    FocusTable();
}

void CTolvaneDlg::FocusTable()
{
    Table()->setFocus(Qt::OtherFocusReason);
}

void CTolvaneDlg::ShowFromTray()
{
    showNormal();
    raise();
    activateWindow();
}

void CTolvaneDlg::HideToTray()
{
    // Without a tray a hidden window could not be brought back: minimise.
    if (desktop_.trayAvailable())
        hide();
    else
        showMinimized();
}

void CTolvaneDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    // Without a tray there is no menu with Exit: the close button is then the
    // way out, through the exit request and its restore question.
    if (desktop_.trayAvailable())
        hide();
    else
        RequestExit();
}

void CTolvaneDlg::FitSize()
{
    // One fixed size, at least 520 x 500, wider when the table's
    // columns need more room at the font in use.
    const QSize least = minimumSizeHint();
    setFixedSize(std::max(520, least.width()), std::max(500, least.height()));
}

void CTolvaneDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        Table()->FitColumnsToFont();
        FitSize();
    }
    if (event->type() == QEvent::WindowStateChange && isMinimized() && desktop_.trayAvailable())
        QTimer::singleShot(0, this, &QWidget::hide);  // not from inside the state change itself
}

// Offers to restore the direct connection when a proxy is applied, removes
// the tray icon and ends the process with -1. Nothing is saved: settings are
// saved when changed and the proxy list is not kept.
void CTolvaneDlg::RequestExit()
{
    HideState& state = GetHideState();
    if (state.hidden) {
        const IPrompt::Answer answer =
            desktop_.prompt.Show(this, QStringLiteral("Your real IP is hidden, do you want to restore it?"),
                                 IPrompt::YesNoCancel, QStringLiteral("Tolvane"));
        if (answer == IPrompt::AnsCancel)
            return;
        // A restore that failed has said so; the program stays, still showing
        // the proxy as applied, so that the user can try again.
        if (answer == IPrompt::AnsYes && !ipHiding_.RestoreIp())
            return;
        if (answer == IPrompt::AnsNo)
            ipHiding_.KeepProxyAfterExit();
    }
    tray_->Remove();
    exitRequested_ = true;
    desktop_.endProcess(-1);
}
