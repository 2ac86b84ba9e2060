#include "app/iphidingcontroller.h"

#include "app/appicons.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "app/trayicon.h"
#include "browser/realaddress.h"
#include "browser/systemproxy.h"
#include "data/ui/countryname.h"
#include "data/ui/prolistctrl.h"
#include "service/startrequest.h"
#include "settings/ui/webrtcchoice.h"
#include "widgets/imagebutton.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

#include <QLabel>

#include <QToolButton>
#include <cstring>

namespace {

constexpr int kMaxAddressLength = 15;

}  // namespace

CIpHidingController::CIpHidingController(CTolvaneDlg& window) : window_(window)
{
    // Polling serves every store alike (GSettings, kioslaverc) and costs one
    // read of a few keys a second, only while a proxy is applied.
    desktopWatch_.setInterval(1000);
    QObject::connect(&desktopWatch_, &QTimer::timeout, [this] { CheckDesktopStillHoldsProxy(); });
}

bool AddressFitsDisplay(const QString& text)
{
    return text.size() <= kMaxAddressLength;
}

void CIpHidingController::OnHideRestoreClicked()
{
    // The face follows the hide state, so the state says what the button does.
    if (GetHideState().hidden) {
        RestoreIp();
        window_.FocusTable();
        return;
    }
    HideIp();
}

SystemProxyContext CIpHidingController::Context()
{
    return SystemProxyContext{window_.Desktop().proxyStore, window_.Desktop().network, *this};
}

std::string CIpHidingController::RealAddress() const
{
    return GetRealAddress(std::string(realAddress, strnlen(realAddress, sizeof realAddress - 1)),
                          window_.Desktop().network);
}

bool CIpHidingController::RestoreIp()
{
    const ProxyChange change = RestoreSystemProxy(GetHideState(), Context());
    if (!change)
        window_.Desktop().prompt.Show(
            &window_,
            QStringLiteral("Could not restore your own proxy setting: %1. The proxy stays applied.")
                .arg(ToUi(change.problem)),
            IPrompt::Ok);
    return static_cast<bool>(change);
}

void CIpHidingController::HideIp()
{
    CProxyList& list = GetProxyList();
    if (list.empty()) {
        window_.Desktop().prompt.Show(
            &window_, QStringLiteral("There is no proxy to hide ip, please get proxy firstly."), IPrompt::Ok);
        return;
    }
    const std::vector<int> selected = window_.Table()->SelectedRows();
    if (selected.empty()) {
        window_.Desktop().prompt.Show(&window_, QStringLiteral("Please select 1 proxy to hide ip."), IPrompt::Ok);
        return;
    }
    if (selected.size() > 1) {
        window_.Desktop().prompt.Show(
            &window_, QStringLiteral("Too many proxies are selected, please select 1 proxy to hide ip."), IPrompt::Ok);
        return;
    }
    const auto entry = EntryAt(list, selected.front());
    if (entry == list.end())
        return;
    const CProxy proxy = *entry;
    // Without a system-wide setting to change, nothing would follow the
    // proxy: say so, and what to enter by hand, instead of claiming a Fake IP.
    if (!window_.Desktop().proxyStore.HasSystemSetting()) {
        window_.Desktop().prompt.Show(
            &window_,
            QStringLiteral("This desktop has no system-wide proxy setting that Velmora can change, so your "
                           "IP cannot be hidden here. Please enter the proxy in your browser by hand: "
                           "SOCKS host %1, port %2.")
                .arg(ToUi(proxy.ip))
                .arg(proxy.port),
            IPrompt::Ok);
        window_.FocusTable();
        return;
    }
    // The face changes only through the listener, once the desktop holds the
    // proxy; every failure says what failed.
    const ProxyChange change = ApplySystemProxy(GetHideState(), proxy, Context());
    if (!change && !change.bypass.empty() && change.userSettingsInPlace)
        window_.Desktop().prompt.Show(
            &window_,
            QStringLiteral("Could not hide your IP: the desktop's proxy setting did not take effect, "
                           "%1 instead of through the proxy %2:%3. Your own proxy setting has been put back.")
                .arg(ToUi(change.bypass), ToUi(proxy.ip))
                .arg(proxy.port),
            IPrompt::Ok);
    else if (!change)
        window_.Desktop().prompt.Show(&window_, QStringLiteral("Could not hide your IP: %1.").arg(ToUi(change.problem)),
                                      IPrompt::Ok);
    if (change && !window_.Desktop().proxyStore.FollowedByFirefox() && !firefoxNoticeShown_) {
        firefoxNoticeShown_ = true;
        window_.Desktop().prompt.Show(
            &window_,
            QStringLiteral("Firefox does not follow the desktop's proxy on this desktop: it reads GNOME's proxy "
                           "settings, which are not installed here, so Firefox still shows your real IP. To hide "
                           "it there too, enter the proxy in Firefox's connection settings by hand: SOCKS host "
                           "%1, port %2.")
                .arg(ToUi(proxy.ip))
                .arg(proxy.port),
            IPrompt::Ok);
    }
    // WebRTC in Chromium-based browsers goes around the desktop's proxy.
    if (change)
        CheckWebRtcAfterHideIp(window_.Desktop().prompt, &window_);
    window_.FocusTable();
}

void CIpHidingController::SetReadyToHide(bool readyToHide)
{
    const CMainWindowControls& c = window_.Controls();
    if (readyToHide)
        SetImageButtonFace(c.hideIpButton, QString::fromLatin1(kHideIpCaption), AppIcon(AppIconId::HideIp),
                           QStringLiteral("Hide your real IP"));
    else
        SetImageButtonFace(c.hideIpButton, QString::fromLatin1(kRestoreIpCaption), AppIcon(AppIconId::RestoreIp),
                           QStringLiteral("Restore your real IP"));
    for (QToolButton* button : {c.deleteButton, c.getProxyButton, c.testSpeedButton, c.settingButton})
        button->setEnabled(readyToHide);
}

void CIpHidingController::ShowAddress(QLabel* label, QLabel* flag, const QString& text, int country)
{
    if (!text.isEmpty() && AddressFitsDisplay(text)) {
        label->setText(text);
        label->setAccessibleName(text);
    }
    flag->setPixmap(window_.Flags().Flag(country));
}

void CIpHidingController::OnProxyApplied()
{
    const HideState& state = GetHideState();
    const CMainWindowControls& c = window_.Controls();
    ShowAddress(c.currentIpLabel, c.currentIpFlag, ToUi(state.proxy.ip), state.proxy.country);
    window_.Tray()->SetToolTip(QStringLiteral("Tolvane : Fake IP in %1").arg(CountryName(state.proxy.country)));
    SetReadyToHide(false);
    desktopWatch_.start();
    window_.FocusTable();
}

void CIpHidingController::OnProxyRestored()
{
    const CMainWindowControls& c = window_.Controls();
    ShowAddress(c.currentIpLabel, c.currentIpFlag, ToUi(RealAddress()), realCountry);
    window_.Tray()->SetToolTip(QStringLiteral("Tolvane : Real IP"));
    desktopWatch_.stop();
    SetReadyToHide(true);
}

void CIpHidingController::CheckDesktopStillHoldsProxy()
{
    const HideState& state = GetHideState();
    ISystemProxyStore& store = window_.Desktop().proxyStore;
    DesktopProxySettings current;
    if (!state.hidden || !store.Read(std::string(), current)
        || store.HoldsSocksProxy(current, state.proxy.ip, state.proxy.port))
        return;
    // Something else changed the desktop's proxy settings: settle the saved
    // configuration as at start-up and show what the desktop holds now.
    desktopWatch_.stop();
    ResumeAppliedProxy(GetHideState(), Context());
    if (!GetHideState().hidden)
        window_.Desktop().prompt.Show(&window_,
                                      QStringLiteral("The desktop's proxy setting was changed outside Velmora, so "
                                                     "the proxy is no longer applied. Your real IP is shown again."),
                                      IPrompt::Ok);
}

void CIpHidingController::ShowStartupAddress()
{
    const CMainWindowControls& c = window_.Controls();
    const QString address = ToUi(RealAddress());
    ShowAddress(c.realIpLabel, c.realIpFlag, address, realCountry);
    // Without a public address from the service, Real IP is this machine's own.
    c.realIpLabel->setToolTip(RealAddressIsLocal()
                                  ? QStringLiteral("Your local address (the interface of the default route): the "
                                                   "service reported no public address. Set public-address-url "
                                                   "in your service's key file to see the public one.")
                                  : QString());
    ShowAddress(c.currentIpLabel, c.currentIpFlag, address, realCountry);
    // A proxy applied by an earlier run that still carries the traffic is
    // shown as applied, so Restore IP and the question on exit give the
    // user's own configuration back.
    ResumeAppliedProxy(GetHideState(), Context());
}
