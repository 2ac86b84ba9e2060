// Hide IP / Restore IP: the button's two faces, the Current IP display and
// the tray tooltip, against fake desktop proxy settings.
#include "mainwindowfixture.h"

#include "app/commands.h"
#include "app/trayicon.h"
#include "browser/savedproxysettings.h"
#include "data/ui/prolistctrl.h"
#include "settings/onoffsetting.h"
#include "settings/setting.h"
#include "settings/ui/webrtcchoice.h"
#include "socksfixture.h"
#include "support/ui/testcountries.h"
#include "support/ui/uiwait.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

namespace {

class IpHidingTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(StartWindow());
        c = &window->Controls();
        CProxyList list;
        list.emplace_back("127.0.0.2", 1082, kTestFrance, 1, 5, 100);
        list.emplace_back("127.0.0.3", 1083, -1, 1, 5, 200);
        list.emplace_back("127.0.0.4", 1084, kTestUnitedStates, 1, 5, 300);
        ShowProxies(list);
    }

    void Click()
    {
        c->hideIpButton->click();
        QApplication::processEvents();  // the queued notice of the proxy settings
    }

    bool CommandButtonsEnabled() const
    {
        const bool enabled = c->getProxyButton->isEnabled();
        EXPECT_EQ(c->testSpeedButton->isEnabled(), enabled);
        EXPECT_EQ(c->deleteButton->isEnabled(), enabled);
        EXPECT_EQ(c->settingButton->isEnabled(), enabled);
        return enabled;
    }

    // What Hide IP names in the desktop's settings: the program's relay.
    std::string RelayTarget() const { return "127.0.0.1:" + std::to_string(window->IpHiding().RelayPort()); }

    const CMainWindowControls* c = nullptr;
};

TEST_F(IpHidingTest, HideShowsTheProxyAndRestoreBringsBackTheRealAddress)
{
    SelectRows({0});
    Click();
    ASSERT_NE(window->IpHiding().RelayPort(), 0);
    EXPECT_EQ(store.writes, std::vector<std::string>{RelayTarget()});
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.2"));
    EXPECT_EQ(c->currentIpFlag->pixmap().toImage().pixelColor(5, 5), QColor(0, 85, 164));  // France
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Fake IP in France"));
    EXPECT_EQ(c->realIpLabel->text(), Text("127.0.0.1"));
    EXPECT_EQ(c->hideIpButton->text(), Text("Restore IP"));
    EXPECT_EQ(c->hideIpButton->accessibleName(), Text("Restore IP"));
    EXPECT_EQ(c->hideIpButton->toolTip(), Text("Restore your real IP"));
    EXPECT_FALSE(CommandButtonsEnabled());
    EXPECT_TRUE(window->Table()->hasFocus());

    Click();
    EXPECT_EQ(store.writes.back(), "restore");
    EXPECT_EQ(window->IpHiding().RelayPort(), 0);
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.1"));
    EXPECT_EQ(c->currentIpFlag->pixmap().toImage().pixelColor(5, 5), QColor(255, 204, 0));  // Germany
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
    EXPECT_EQ(c->hideIpButton->text(), Text("Hide IP"));
    EXPECT_EQ(c->hideIpButton->toolTip(), Text("Hide your real IP"));
    EXPECT_TRUE(CommandButtonsEnabled());
    EXPECT_TRUE(prompt.Prompts().empty());
}

TEST_F(IpHidingTest, HideSetsChromiumsWebRtcOrSaysOnceThatItGoesAroundTheProxy)
{
    const std::string prefs = ".config/chromium/Default/Preferences";
    home.WriteFile(prefs, "{}");
    ResetWebRtcNoticesForTest();
    GetWebRtcSetting().on = false;
    const QString leak = QStringLiteral(
        "WebRTC in Chromium can show web pages your real address; turn on \"Keep WebRTC behind the proxy\" in "
        "Setting, Switch Proxy Setting, to keep it behind the proxy.");
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.Texts(), QStringList{leak});
    EXPECT_EQ(home.ReadFile(prefs), "{}");
    Click();
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.Texts(), QStringList{leak});  // once per browser

    Click();
    GetWebRtcSetting().on = true;
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.Texts(), QStringList{leak});
    EXPECT_EQ(home.ReadFile(prefs), "{\"webrtc\":{\"ip_handling_policy\":\"disable_non_proxied_udp\"}}");
}

TEST_F(IpHidingTest, HideSaysOnceWhereFirefoxDoesNotFollowTheDesktop)
{
    store.followedByFirefox = false;
    const QString notice = QStringLiteral(
        "Firefox does not follow the desktop's proxy on this desktop: it reads GNOME's proxy settings, which are "
        "not installed here, so Firefox still shows your real IP. To hide it there too, enter the proxy in "
        "Firefox's connection settings by hand: SOCKS host 127.0.0.2, port 1082.");
    SelectRows({0});
    Click();
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(prompt.Texts(), QStringList{notice});
    Click();
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.Texts(), QStringList{notice});
}

TEST_F(IpHidingTest, AProxyWithoutCountryShowsNoFlag)
{
    SelectRows({1});
    Click();
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.3"));
    EXPECT_TRUE(c->currentIpFlag->pixmap().isNull());
}

TEST_F(IpHidingTest, SelectionMessages)
{
    Click();
    EXPECT_EQ(prompt.LastText(), Text("Please select 1 proxy to hide ip."));
    SelectRows({0, 2});
    Click();
    EXPECT_EQ(prompt.LastText(), Text("Too many proxies are selected, please select 1 proxy to hide ip."));
    // The empty list is checked first, whatever the table still has selected.
    GetProxyList().clear();
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.LastText(), Text("There is no proxy to hide ip, please get proxy firstly."));
    EXPECT_TRUE(store.writes.empty());
    EXPECT_EQ(c->hideIpButton->text(), Text("Hide IP"));
}

TEST_F(IpHidingTest, RemovingTheAppliedRowLeavesTheProxyApplied)
{
    SelectRows({2});
    Click();
    SelectRows({2});
    QTest::keyClick(window->Table(), Qt::Key_Delete);  // the Delete button is disabled, the key is not
    EXPECT_EQ(GetProxyList().size(), 2u);
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.4"));
    EXPECT_EQ(store.writes, std::vector<std::string>{RelayTarget()});
}

TEST_F(IpHidingTest, AFailedApplyOrRestoreSaysWhatFailedAndKeepsTheFaceTheDesktopHolds)
{
    // The way back cannot be kept on disk (the state folder is a file).
    const std::string blocked = dir.WriteFile("state-file", "");
    setenv("XDG_STATE_HOME", blocked.c_str(), 1);
    SelectRows({0});
    Click();
    EXPECT_TRUE(prompt.LastText().startsWith(Text("Could not hide your IP: your own proxy setting could not be saved")))
        << prompt.LastText().toStdString();
    EXPECT_TRUE(store.writes.empty());
    setenv("XDG_STATE_HOME", "", 1);

    // The desktop refuses the write.
    store.succeed = false;
    Click();
    EXPECT_TRUE(prompt.LastText().startsWith(Text("Could not hide your IP: the desktop's proxy settings could not be "
                                                  "written")));
    for (bool hidden : {false, true}) {
        EXPECT_EQ(GetHideState().hidden, hidden);
        EXPECT_EQ(c->hideIpButton->text(), Text(hidden ? "Restore IP" : "Hide IP"));
        EXPECT_EQ(CommandButtonsEnabled(), !hidden);
        EXPECT_EQ(c->currentIpLabel->text(), Text(hidden ? "127.0.0.2" : "127.0.0.1"));
        EXPECT_EQ(window->Tray()->ToolTip(), Text(hidden ? "Tolvane : Fake IP in France" : "Tolvane : Real IP"));
        if (hidden)
            break;
        store.succeed = true;
        Click();
    }

    // A restore the desktop refuses keeps the proxy shown as applied, here and at exit.
    store.succeed = false;
    Click();
    EXPECT_TRUE(prompt.LastText().startsWith(Text("Could not restore your own proxy setting: ")));
    EXPECT_TRUE(prompt.LastText().contains(Text("for the next try")));
    EXPECT_TRUE(std::ifstream(SavedProxySettingsPath()).good());
    prompt.Queue(IPrompt::AnsYes);
    window->RequestExit();
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(c->hideIpButton->text(), Text("Restore IP"));
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Fake IP in France"));

    store.succeed = true;
    Click();
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_FALSE(std::ifstream(SavedProxySettingsPath()).good());
}

TEST_F(IpHidingTest, AChangeOfTheDesktopsSettingElsewhereShowsTheRealAddressAgain)
{
    SelectRows({0});
    Click();
    ASSERT_TRUE(GetHideState().hidden);
    window->IpHiding().CheckDesktopStillHoldsProxy();
    EXPECT_TRUE(GetHideState().hidden);

    // Another program (or another copy of Velmora) restored the desktop.
    store.holds = false;
    window->IpHiding().CheckDesktopStillHoldsProxy();
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_EQ(c->hideIpButton->text(), Text("Hide IP"));
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
    EXPECT_TRUE(prompt.LastText().startsWith(Text("The desktop's proxy setting was changed outside Velmora")));
    EXPECT_FALSE(std::ifstream(SavedProxySettingsPath()).good());
}

TEST_F(IpHidingTest, AProxyTheDesktopWouldBypassIsExplainedAndNeverShownAsApplied)
{
    store.bypass = "http:// pages go to http://127.0.0.9:3128";
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.LastText(),
              Text("Could not hide your IP: the desktop's proxy setting did not take effect, http:// pages go to "
                   "http://127.0.0.9:3128 instead of through the proxy 127.0.0.2:1082. Your own proxy setting has "
                   "been put back."));
    ASSERT_EQ(store.writes.size(), 2u);
    EXPECT_EQ(store.writes[0].rfind("127.0.0.1:", 0), 0u) << store.writes[0];
    EXPECT_EQ(store.writes[1], "restore");
    EXPECT_EQ(window->IpHiding().RelayPort(), 0);  // the relay went with the apply that did not hold
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_EQ(c->hideIpButton->text(), Text("Hide IP"));
    EXPECT_TRUE(CommandButtonsEnabled());
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
}

TEST_F(IpHidingTest, ADesktopWithoutAProxySettingGetsTheProxyToEnterByHand)
{
    store.hasSystemSetting = false;
    SelectRows({0});
    Click();
    EXPECT_EQ(prompt.LastText(),
              Text("This desktop has no system-wide proxy setting that Velmora can change, so your IP cannot be "
                   "hidden here. Please enter the proxy in your browser by hand: SOCKS host 127.0.0.2, port 1082."));
    EXPECT_TRUE(store.writes.empty());
    EXPECT_FALSE(std::ifstream(SavedProxySettingsPath()).good());
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_EQ(c->hideIpButton->text(), Text("Hide IP"));
    EXPECT_TRUE(CommandButtonsEnabled());
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.1"));
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
}

TEST_F(MainWindowTest, AProxyAnEarlierRunLeftAppliedIsShownAsAppliedAtStart)
{
    SavedProxySettings saved;
    saved.before = {{"mode", "none"}};
    saved.applied = CProxy("127.0.0.2", 1082, kTestFrance, 1, 5, 100);
    ASSERT_TRUE(StoreSavedProxySettings(SavedProxySettingsPath(), saved));
    ASSERT_TRUE(StartWindow());
    QApplication::processEvents();
    const CMainWindowControls& c = window->Controls();
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(c.hideIpButton->text(), Text("Restore IP"));
    EXPECT_FALSE(c.getProxyButton->isEnabled());
    EXPECT_EQ(c.currentIpLabel->text(), Text("127.0.0.2"));
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Fake IP in France"));

    c.hideIpButton->click();
    QApplication::processEvents();
    EXPECT_EQ(store.writes, std::vector<std::string>{"restore"});
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
}

TEST_F(IpHidingTest, TheRotationMovesAmongTheFastestShareOfTheList)
{
    GetSetting().SetNumber(SettingKey::SwitchRatio, 50);  // two of the three proxies
    SelectRows({0});
    Click();
    window->IpHiding().RotateProxy();
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.3"));
    EXPECT_EQ(c->relayStatusLabel->text(), Text("Changed proxy: now through the proxy 127.0.0.3:1083."));
    SavedProxySettings saved;
    ASSERT_TRUE(LoadSavedProxySettings(SavedProxySettingsPath(), saved));
    EXPECT_EQ(std::string(saved.applied.ip), "127.0.0.3");
    // Round the pool: back to the fastest, never the third.
    window->IpHiding().RotateProxy();
    EXPECT_EQ(c->currentIpLabel->text(), Text("127.0.0.2"));
    // The desktop keeps naming the same relay throughout.
    EXPECT_EQ(store.writes, std::vector<std::string>{RelayTarget()});
}

// A loopback port nobody listens on.
int ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A page fetched the way a browser of the desktop would: through the relay, names to the proxy.
std::string FetchThroughRelay(int relayPort, const std::string& url)
{
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, ("socks5h://127.0.0.1:" + std::to_string(relayPort)).c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
            static_cast<std::string*>(out)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return body;
}

TEST_F(MainWindowTest, AProxyThatStopsAnsweringIsReplacedByTheNextAndTheWindowSaysSo)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    SocksBehaviour both;
    both.protocol = SocksBehaviour::Protocol::Both;
    const int live = fixture.AddSocks(both);
    const int dead = ClosedPort();  // the first proxy is gone
    ASSERT_TRUE(StartWindow());
    CProxyList list;
    list.emplace_back("127.0.0.1", dead, kTestFrance, 3, 5, 100);
    list.emplace_back("127.0.0.1", live, kTestUnitedStates, 3, 5, 200);
    ShowProxies(list);
    SelectRows({0});
    window->Controls().hideIpButton->click();
    ASSERT_TRUE(GetHideState().hidden);

    const std::string body = FetchThroughRelay(window->IpHiding().RelayPort(), SocksFixture::PageUrl(page));
    EXPECT_NE(body.find(kTestPageBody), std::string::npos) << body;
    const QLabel* status = window->Controls().relayStatusLabel;
    const QString said = Text("The proxy in France stopped answering; now through the proxy in United States");
    EXPECT_TRUE(WaitUntil([&] { return status->text() == said; })) << status->text().toStdString();
    EXPECT_EQ(GetHideState().proxy.port, live);
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Fake IP in United States"));
    SavedProxySettings saved;
    ASSERT_TRUE(LoadSavedProxySettings(SavedProxySettingsPath(), saved));
    EXPECT_EQ(saved.applied.port, live);
}

TEST_F(IpHidingTest, AddressesOverFifteenCharactersDoNotFit)
{
    EXPECT_TRUE(AddressFitsDisplay(Text("255.255.255.255")));
    EXPECT_FALSE(AddressFitsDisplay(Text("1234:5678:9abc:def0")));
}

}  // namespace
