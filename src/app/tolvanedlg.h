#pragma once

#include "app/iphidingcontroller.h"
#include "app/mainwindowcontrols.h"
#include "app/sortstate.h"
#include "data/ui/flagimages.h"

#include <QWidget>

class CSplashDialog;
class CTrayIcon;
struct CDesktop;

// The main window. It lives for the whole process: closing, minimising and
// Escape hide it in the tray, and only the exit request ends the program. It
// wires its buttons, the table and the tray to the commands (commands.h).
//
// What the window and its dialogs are told, and how:
//   tray icon activated   CTrayIcon::activated -> OnTrayActivated
//   exit request          RequestExit()
//   proxy applied         IProxyStateListener::OnProxyApplied
//   proxy restored        IProxyStateListener::OnProxyRestored
//   test progress         ITestProgressListener::OnProgress / OnComplete (the progress dialog)
//   table context menu    CProListCtrl::contextMenuRequested (queued)
class CTolvaneDlg : public QWidget {
    Q_OBJECT
public:
    // The window keeps a reference to desktop, which must outlive it.
    explicit CTolvaneDlg(CDesktop& desktop, QWidget* parent = nullptr);
    ~CTolvaneDlg() override;

    // The start-up after construction: settings, network check, flags, the
    // start request (the splash closes right after it), Real IP, Firefox,
    // tray. False when the program is to end.
    bool Initialize(CSplashDialog* splash);

    // Offers to restore the user's proxy settings when a proxy is applied,
    // removes the tray icon and ends the process with -1.
    void RequestExit();
    // The tray icon was clicked (a QSystemTrayIcon::ActivationReason).
    void OnTrayActivated(int reason);

    CDesktop& Desktop() const { return desktop_; }
    const CMainWindowControls& Controls() const { return controls_; }
    CProListCtrl* Table() const { return controls_.proxyTable; }
    const CFlagImages& Flags() const { return flags_; }
    CSortState& SortState() { return sortState_; }
    CIpHidingController& IpHiding() { return ipHiding_; }
    CTrayIcon* Tray() const { return tray_; }
    // True once the exit request went through (the process normally ends there).
    bool ExitRequested() const { return exitRequested_; }

    // Loads the flag pictures of the country catalogue (part of Initialize).
    void LoadFlagImages();
    // How a changed list is ordered before it is shown: as the change left it
    // (a test run leaves the fastest first) or by the table header's state.
    enum class ListOrder { AsLeft, ByHeader };
    // The one change point of the proxy list: every command that changed it
    // calls this once at its end; the table is refilled from the list and
    // takes the focus.
    void ProxyListChanged(ListOrder order = ListOrder::AsLeft);
    void RefillProxyTable();
    void FocusTable();
    void ShowFromTray();
    void HideToTray();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ConnectCommands();
    void FitSize();

    CDesktop& desktop_;
    CFlagImages flags_;
    CMainWindowControls controls_;
    CSortState sortState_;
    CIpHidingController ipHiding_;
    CTrayIcon* tray_;
    bool exitRequested_ = false;
};
