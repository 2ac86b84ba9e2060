#pragma once

class CFlagImages;
class CProListCtrl;
class QLabel;
class QToolButton;
class QWidget;

// The controls of the main window: the button row, the proxy table and the
// Real IP / Current IP display. Every control has an object name and its
// caption as accessible name.
struct CMainWindowControls {
    QToolButton* getProxyButton = nullptr;
    QToolButton* testSpeedButton = nullptr;
    QToolButton* hideIpButton = nullptr;
    QToolButton* deleteButton = nullptr;
    QToolButton* settingButton = nullptr;
    QToolButton* checkIpButton = nullptr;
    CProListCtrl* proxyTable = nullptr;
    QLabel* realIpLabel = nullptr;
    QLabel* realIpFlag = nullptr;
    QLabel* currentIpLabel = nullptr;
    QLabel* currentIpFlag = nullptr;
    // What the relay last said (a proxy that stopped answering, names looked
    // up here); empty while there is nothing to say.
    QLabel* relayStatusLabel = nullptr;
};

// Creates the controls inside window and lays them out.
CMainWindowControls BuildMainWindowControls(QWidget* window, const CFlagImages* flags);

extern const char* const kHideIpCaption;     // "Hide IP"
extern const char* const kRestoreIpCaption;  // "Restore IP"
