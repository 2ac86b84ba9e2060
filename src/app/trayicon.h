#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

// What greys the tray menu's items, read each time the menu is about to show.
struct TrayMenuState {
    bool settingDialogOpen = false;
    bool proxyApplied = false;
    bool aboutDialogOpen = false;
    bool commandRunning = false;  // a request or test run is under way
};

// The program's icon in the notification area with its menu. The window
// wires the menu's actions to its commands; activations go out as
// activated(reason), which the window takes queued, after the tray's own
// event handling.
class CTrayIcon : public QObject {
    Q_OBJECT
public:
    CTrayIcon(const QIcon& icon, std::function<TrayMenuState()> state, QObject* parent = nullptr);
    ~CTrayIcon() override;

    void Show();
    void Remove();
    void SetToolTip(const QString& text);
    // A balloon the tray host shows for a few seconds.
    void ShowMessage(const QString& text);
    QString ToolTip() const;
    bool Shown() const;
    QMenu* Menu() const { return menu_; }
    // Greys the items for the given state (the menu does it on showing).
    void UpdateMenu(const TrayMenuState& state);

    QAction* openAction;
    QAction* settingAction;
    QAction* helpAction;
    QAction* websiteAction;
    QAction* aboutAction;
    QAction* exitAction;

signals:
    void activated(int reason);  // a QSystemTrayIcon::ActivationReason

private:
    QMenu* menu_;
    QSystemTrayIcon* icon_;
    std::function<TrayMenuState()> state_;
};
