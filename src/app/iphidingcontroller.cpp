#include "app/iphidingcontroller.h"

#include "app/appicons.h"
#include "app/desktop.h"
#include "app/detachedrelay.h"
#include "app/tolvanedlg.h"
#include "app/trayicon.h"
#include "browser/realaddress.h"
#include "browser/systemproxy.h"
#include "data/ui/countryname.h"
#include "data/ui/prolistctrl.h"
#include "service/startrequest.h"
#include "settings/onoffsetting.h"
#include "settings/setting.h"
#include "settings/ui/webrtcchoice.h"
#include "widgets/imagebutton.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

#include <QLabel>

#include <QToolButton>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxAddressLength = 15;
// The relay left running at exit gets the proxies on its command line.
constexpr size_t kMaxDetachedUpstreams = 20;

// "the proxy in France", or its address where the catalogue has no country.
QString ProxyPlace(const CProxy& proxy)
{
    return proxy.country >= 0 ? QStringLiteral("the proxy in %1").arg(CountryName(proxy.country))
                              : QStringLiteral("the proxy %1:%2").arg(ToUi(proxy.ip)).arg(proxy.port);
}

QString Capitalized(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

}  // namespace

CIpHidingController::CIpHidingController(CTolvaneDlg& window) : window_(window)
{
    // Polling serves every store alike (GSettings, kioslaverc) and costs one
    // read of a few keys a second, only while a proxy is applied.
    desktopWatch_.setInterval(1000);
    QObject::connect(&desktopWatch_, &QTimer::timeout, [this] { CheckDesktopStillHoldsProxy(); });
    QObject::connect(&rotation_, &QTimer::timeout, [this] { RotateProxy(); });
    // The relay speaks from its own thread; the window hears it on its own.
    relay_.SetEventHandler([this](const RelayEvent& event) {
        QMetaObject::invokeMethod(
            &window_, [this, event] { OnRelayEvent(event); }, Qt::QueuedConnection);
    });
}

CIpHidingController::~CIpHidingController()
{
    relay_.SetEventHandler(nullptr);
    relay_.Stop();
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
    return SystemProxyContext{window_.Desktop().proxyStore, window_.Desktop().network, *this, this};
}

int CIpHidingController::Relay(const CProxy& proxy, int port, std::string& problem)
{
    if (relay_.Running() && port != 0 && port != relay_.Port())
        relay_.Stop();
    if (!relay_.Running()) {
        // A relay an earlier run left running holds the port the desktop names.
        StopDetachedRelay();
        if (!relay_.Start(port, problem))
            return 0;
    }
    relay_.SetUpstreams(Upstreams(proxy));
    return relay_.Port();
}

void CIpHidingController::Stop()
{
    rotation_.stop();
    relay_.Stop();
}

std::vector<CProxy> CIpHidingController::Upstreams(const CProxy& first) const
{
    std::vector<CProxy> others;
    for (const CProxy& proxy : GetProxyList())
        if (proxy.IsUsable() && !(proxy == first))
            others.push_back(proxy);
    std::stable_sort(others.begin(), others.end(), [](const CProxy& a, const CProxy& b) { return a.speed < b.speed; });
    others.insert(others.begin(), first);
    return others;
}

void CIpHidingController::KeepProxyAfterExit()
{
    const HideState& state = GetHideState();
    if (!state.hidden || state.relayPort == 0 || !relay_.Running())
        return;
    std::vector<CProxy> upstreams = Upstreams(state.proxy);
    if (upstreams.size() > kMaxDetachedUpstreams)
        upstreams.resize(kMaxDetachedUpstreams);
    relay_.Stop();
    const auto& keepRelay = window_.Desktop().keepRelay;
    if (!keepRelay || !keepRelay(state.relayPort, upstreams))
        window_.Desktop().prompt.Show(
            &window_,
            QStringLiteral("The relay to the proxy could not be kept running after Velmora ends, so your browsers "
                           "reach no web page until Velmora is started again, which puts the relay back."),
            IPrompt::Ok);
}

void CIpHidingController::RotateProxy()
{
    const HideState& state = GetHideState();
    if (!state.hidden || state.relayPort == 0)
        return;
    // The fastest ratio percent of the list, at least one proxy.
    std::vector<CProxy> fastest = Upstreams(state.proxy);
    fastest.erase(fastest.begin());
    if (std::find(GetProxyList().begin(), GetProxyList().end(), state.proxy) != GetProxyList().end())
        fastest.insert(std::upper_bound(fastest.begin(), fastest.end(), state.proxy,
                                        [](const CProxy& a, const CProxy& b) { return a.speed < b.speed; }),
                       state.proxy);
    const int ratio = GetSetting().GetSwitchItem().ratio;
    fastest.resize(std::min(fastest.size(), std::max<size_t>(1, (fastest.size() * ratio + 99) / 100)));
    if (fastest.empty())
        return;
    // The next one after the proxy in use, round the pool.
    const auto current = std::find(fastest.begin(), fastest.end(), state.proxy);
    const CProxy next = current == fastest.end() || current + 1 == fastest.end() ? fastest.front() : *(current + 1);
    if (next == state.proxy)
        return;
    relay_.SetUpstreams(Upstreams(next));
    NoteRelayedProxy(GetHideState(), next, Context());
    ShowRelayStatus(QStringLiteral("Changed proxy: now through %1.").arg(ProxyPlace(next)), false);
}

void CIpHidingController::UpdateRotation()
{
    const HideState& state = GetHideState();
    if (GetRotationSetting().on && state.hidden && state.relayPort != 0)
        rotation_.start(std::max(1, GetSetting().GetSwitchItem().interval) * 60 * 1000);
    else
        rotation_.stop();
}

void CIpHidingController::OnRelayEvent(const RelayEvent& event)
{
    HideState& state = GetHideState();
    if (!state.hidden || state.relayPort == 0)
        return;
    switch (event.kind) {
    case RelayEvent::Kind::Switched:
        NoteRelayedProxy(state, event.to, Context());
        ShowRelayStatus(QStringLiteral("%1 stopped answering; now through %2")
                            .arg(Capitalized(ProxyPlace(event.from)), ProxyPlace(event.to)),
                        true);
        break;
    case RelayEvent::Kind::NoneAnswers:
        ShowRelayStatus(QStringLiteral("%1 stopped answering and no other proxy of the list answers. Nothing goes "
                                       "around the proxy: get new proxies, or restore your IP.")
                            .arg(Capitalized(ProxyPlace(event.from))),
                        true);
        break;
    case RelayEvent::Kind::Recovered:
        NoteRelayedProxy(state, event.to, Context());
        ShowRelayStatus(QStringLiteral("Now through %1, which answers again.").arg(ProxyPlace(event.to)), true);
        break;
    case RelayEvent::Kind::ResolvingNamesLocally:
        ShowRelayStatus(QStringLiteral("%1: host names are looked up by your own resolver with this proxy")
                            .arg(Capitalized(ProxyPlace(event.to))),
                        false);
        break;
    }
}

void CIpHidingController::ShowRelayStatus(const QString& text, bool inTray)
{
    QLabel* label = window_.Controls().relayStatusLabel;
    label->setText(text);
    label->setAccessibleName(text);
    label->setToolTip(text);
    if (inTray && !text.isEmpty())
        window_.Tray()->ShowMessage(text);
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

void CIpHidingController::OnProxyApplied(const CProxy& proxy)
{
    const CMainWindowControls& c = window_.Controls();
    ShowAddress(c.currentIpLabel, c.currentIpFlag, ToUi(proxy.ip), proxy.country);
    window_.Tray()->SetToolTip(QStringLiteral("Tolvane : Fake IP in %1").arg(CountryName(proxy.country)));
    SetReadyToHide(false);
    ShowRelayStatus(QString(), false);
    UpdateRotation();
    desktopWatch_.start();
    window_.FocusTable();
}

void CIpHidingController::OnProxyRestored()
{
    const CMainWindowControls& c = window_.Controls();
    ShowAddress(c.currentIpLabel, c.currentIpFlag, ToUi(RealAddress()), realCountry);
    window_.Tray()->SetToolTip(QStringLiteral("Tolvane : Real IP"));
    ShowRelayStatus(QString(), false);
    rotation_.stop();
    desktopWatch_.stop();
    SetReadyToHide(true);
}

void CIpHidingController::CheckDesktopStillHoldsProxy()
{
    const HideState& state = GetHideState();
    ISystemProxyStore& store = window_.Desktop().proxyStore;
    DesktopProxySettings current;
    if (!state.hidden || !store.Read(std::string(), current) || DesktopHoldsHiddenState(store, current, state))
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
