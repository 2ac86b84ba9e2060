#pragma once

#include "browser/socksrelay.h"
#include "browser/systemproxy.h"

#include <QString>
#include <QTimer>

#include <vector>

class CTolvaneDlg;
class QLabel;

// Puts one selected proxy into effect (Hide IP) or takes it out (Restore IP)
// and keeps the Current IP display and the tray tooltip in step with what the
// system proxy settings report back. The desktop is pointed at the program's
// relay, which forwards to the proxy; when that proxy stops answering the
// relay moves on down the table, and the rotation (when on) moves it among
// the fastest proxies every few minutes.
class CIpHidingController : public IProxyStateListener, public IProxyRelay {
public:
    explicit CIpHidingController(CTolvaneDlg& window);
    ~CIpHidingController() override;

    // The Hide IP / Restore IP button: Restore IP while a proxy is applied,
    // else Hide IP. Its face follows the listener calls below.
    void OnHideRestoreClicked();
    // Shows the proxy as Current IP and "Fake IP" in the tray.
    void OnProxyApplied(const CProxy& proxy) override;
    // Shows the real address as Current IP.
    void OnProxyRestored() override;
    // Real IP and Current IP after the start request.
    void ShowStartupAddress();
    // Puts the user's own proxy settings back when a proxy is applied (the
    // exit request's Yes); true when they were, else says what failed.
    bool RestoreIp();
    // While a proxy is applied the desktop's settings are read every second:
    // when something else has changed them, the saved configuration is
    // settled as at start-up and the window shows what the desktop holds.
    void CheckDesktopStillHoldsProxy();
    // The exit request's No: the proxy stays applied after the program has
    // ended, so the relay goes on in a process of its own.
    void KeepProxyAfterExit();
    // Moves the relay to the next of the fastest proxies (the rotation's timer).
    void RotateProxy();
    // The relay's port on 127.0.0.1, 0 while it is not running.
    int RelayPort() const { return relay_.Port(); }

    int Relay(const CProxy& proxy, int port, std::string& problem) override;
    void Stop() override;

private:
    // The applied proxy first, then the table's other proxies, fastest first.
    std::vector<CProxy> Upstreams(const CProxy& first) const;
    void OnRelayEvent(const RelayEvent& event);
    void ShowRelayStatus(const QString& text, bool inTray);
    void UpdateRotation();
    void SetReadyToHide(bool readyToHide);
    void ShowAddress(QLabel* label, QLabel* flag, const QString& text, int country);
    void HideIp();
    SystemProxyContext Context();
    // The address the service reported, else the local one.
    std::string RealAddress() const;

    CTolvaneDlg& window_;
    CSocksRelay relay_;
    QTimer desktopWatch_;
    QTimer rotation_;
    // Told once per run after Hide IP where Firefox does not follow the store.
    bool firefoxNoticeShown_ = false;
};

// Whether an address text fits the display (at most 15 characters); a text
// that does not fit leaves the label as it was.
bool AddressFitsDisplay(const QString& text);
