#pragma once

#include "app/iphidingcontroller.h"
#include "app/mainwindowcontrols.h"
#include "app/sortstate.h"
#include "data/ui/flagimages.h"
#include "data/windowmessages.h"

#include <QWidget>

class CSplashDialog;
class CTrayIcon;

// The main window. It lives for the whole process: closing, minimising and
// Escape hide it in the tray, and only the exit request ends the program. It
// receives the private messages of core code as IMessageTarget (queued, from
// any thread) and hands each command to its own function (commands.h).
class CTolvaneDlg : public QWidget, public IMessageTarget {
    Q_OBJECT
public:
    explicit CTolvaneDlg(QWidget* parent = nullptr);
    ~CTolvaneDlg() override;

    // The start-up after construction: settings, network check, flags, the
    // start request (the splash closes right after it), Real IP, Firefox,
    // tray. False when the program is to end.
    bool Initialize(CSplashDialog* splash);

    void PostMessage(int message, long long wParam, long long lParam) override;
    // Handles a message at once (GUI thread only).
    void SendMessage(int message, long long wParam = 0, long long lParam = 0);

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
    void RefillProxyTable();
    void FocusTable();
    void ShowFromTray();
    void HideToTray();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ConnectCommands();
    void HandleMessage(int message, long long wParam, long long lParam);
    void OnTrayNotify(long long reason);
    void OnExitRequest();
    void LoadSettings();

    CFlagImages flags_;
    CMainWindowControls controls_;
    CSortState sortState_;
    CIpHidingController ipHiding_;
    CTrayIcon* tray_;
    bool exitRequested_ = false;
};
