// The tray menu's greying rules, the About box and the exit request.
#include "mainwindowfixture.h"

#include "app/aboutdialog.h"
#include "app/commandscope.h"
#include "app/trayicon.h"
#include "settings/setting.h"
#include "settings/ui/settingdialog.h"
#include "support/scopedenv.h"
#include "support/scriptedserver.h"
#include "support/ui/uiwait.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace {

class TrayTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(StartWindow());
        tray = window->Tray();
    }

    // Opens the menu as a right-click would, notes the items' state, closes it.
    std::pair<bool, bool> SettingAndAboutEnabled()
    {
        tray->Menu()->popup(QPoint(20, 20));
        const std::pair<bool, bool> state(tray->settingAction->isEnabled(), tray->aboutAction->isEnabled());
        tray->Menu()->hide();
        return state;
    }

    void ApplyProxy()
    {
        ShowProxies(LoopbackProxies(1));
        ASSERT_TRUE(ApplySystemProxy(GetHideState(), GetProxyList().front(),
                                     SystemProxyContext{store, network, window->IpHiding(), &window->IpHiding()}));
        store.writes.clear();
    }

    CTrayIcon* tray = nullptr;
};

TEST_F(TrayTest, MenuHasEveryItem)
{
    QStringList items;
    for (QAction* action : tray->Menu()->actions()) {
        if (!action->isSeparator())
            items << action->text();
    }
    EXPECT_EQ(items, (QStringList{Text("Open"), Text("Setting"), Text("Help"), Text("Official WebSite"),
                                  Text("About Velmora..."), Text("Exit")}));
    EXPECT_TRUE(tray->Shown());
}

TEST_F(TrayTest, SettingIsGreyedWhileTheSettingsAreOpenAProxyIsAppliedOrACommandRuns)
{
    EXPECT_EQ(SettingAndAboutEnabled(), std::make_pair(true, true));
    {
        CSettingDialog settings(prompt, window.get());
        EXPECT_EQ(SettingAndAboutEnabled(), std::make_pair(false, true));
    }
    EXPECT_EQ(SettingAndAboutEnabled(), std::make_pair(true, true));
    {
        CCommandScope running;
        EXPECT_EQ(SettingAndAboutEnabled(), std::make_pair(false, true));
    }
    GetHideState().hidden = true;
    EXPECT_EQ(SettingAndAboutEnabled(), std::make_pair(false, true));
}

TEST_F(TrayTest, AboutIsGreyedWhileTheAboutBoxIsOpen)
{
    QStringList texts;
    bool aboutEnabledMeanwhile = true;
    WhenWindowShows(Text("aboutDialog"), [&](QWidget* about) {
        texts << about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        aboutEnabledMeanwhile = SettingAndAboutEnabled().second;
        about->findChild<QPushButton*>(Text("okButton"))->click();
    });
    tray->aboutAction->trigger();
    EXPECT_FALSE(aboutEnabledMeanwhile);
    EXPECT_EQ(texts, (QStringList{Text("About Velmora"), Text("Velmora : Get working socks proxy every day"),
                                  Text("Version: 1.3"), Text("Update: 10/11/2014")}));
    EXPECT_FALSE(AboutDialogOpen());
    EXPECT_TRUE(SettingAndAboutEnabled().second);
}

// "Reset to Defaults" asks the service for the test target off the GUI thread:
// while a slow service trickles its answer, timers fire, the dialog shows the
// busy state and the tray menu opens with "Setting" greyed.
TEST_F(TrayTest, ResetAgainstASlowServiceKeepsTheWindowAndTheTrayAnswering)
{
    const std::string target = "http://127.0.0.1:1/slow.txt|slow answer|";
    RawHttpServer slow(RawHttpServer::HttpAnswer(target), RawHttpServer::Mode::Trickle,
                       static_cast<int>(3000 / target.size()));
    ScopedServiceUrl useSlow("http://127.0.0.1:" + std::to_string(slow.Port()));
    CSettingDialog settings(prompt, window.get());
    settings.show();

    bool resetReturned = false;
    bool checkedDuringRequest = false;
    bool dialogBusy = false;
    bool menuShown = false;
    bool settingGreyed = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (checkedDuringRequest || resetReturned || slow.Connections() == 0)
            return;
        checkedDuringRequest = true;
        dialogBusy = !settings.isEnabled();
        tray->Menu()->popup(QPoint(20, 20));
        menuShown = tray->Menu()->isVisible();
        settingGreyed = !tray->settingAction->isEnabled();
        tray->Menu()->hide();
    });
    poll.start();
    prompt.Queue(IPrompt::AnsYes);
    settings.findChild<QPushButton*>(Text("resetButton"))->click();
    resetReturned = true;

    EXPECT_TRUE(checkedDuringRequest);
    EXPECT_TRUE(dialogBusy);
    EXPECT_TRUE(menuShown);
    EXPECT_TRUE(settingGreyed);
    EXPECT_TRUE(settings.isEnabled());
    EXPECT_EQ(GetSetting().GetTestItem().testUrl, "http://127.0.0.1:1/slow.txt");
    EXPECT_EQ(slow.Connections(), 1);
}

// Every dialog is modal to the main window only: an application-modal one
// would block the tray icon's own window on an XEmbed tray host.
TEST_F(TrayTest, DialogsBlockOnlyTheMainWindow)
{
    Qt::WindowModality settingModality = Qt::NonModal;
    WhenWindowShows(Text("settingDialog"), [&](QWidget* dialog) {
        settingModality = dialog->windowModality();
        dialog->findChild<QPushButton*>(Text("cancelButton"))->click();
    });
    tray->settingAction->trigger();
    EXPECT_EQ(settingModality, Qt::WindowModal);

    Qt::WindowModality aboutModality = Qt::NonModal;
    WhenWindowShows(Text("aboutDialog"), [&](QWidget* about) {
        aboutModality = about->windowModality();
        about->findChild<QPushButton*>(Text("okButton"))->click();
    });
    tray->aboutAction->trigger();
    EXPECT_EQ(aboutModality, Qt::WindowModal);
}

TEST_F(TrayTest, ExitWithoutAProxyEndsAtOnce)
{
    tray->exitAction->trigger();
    EXPECT_TRUE(prompt.Prompts().empty());
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
    EXPECT_FALSE(tray->Shown());
    EXPECT_TRUE(window->ExitRequested());
}

TEST_F(TrayTest, ExitWithAProxyAppliedAsksToRestore)
{
    ApplyProxy();
    prompt.Queue(IPrompt::AnsCancel);
    tray->exitAction->trigger();
    ASSERT_EQ(prompt.Prompts().size(), 1u);
    EXPECT_EQ(prompt.LastText(), Text("Your real IP is hidden, do you want to restore it?"));
    EXPECT_EQ(prompt.Prompts().back().title, Text("Tolvane"));
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::YesNoCancel);
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(tray->Shown());
    EXPECT_TRUE(GetHideState().hidden);

    // No: the relay goes on in a process of its own, on the port the desktop names.
    const int port = window->IpHiding().RelayPort();
    std::vector<std::pair<int, std::string>> kept;
    desktop.keepRelay = [&kept](int relayPort, const std::vector<CProxy>& proxies) {
        kept.emplace_back(relayPort, proxies.empty() ? std::string() : std::string(proxies.front().ip));
        return true;
    };
    prompt.Queue(IPrompt::AnsNo);
    tray->exitAction->trigger();
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
    EXPECT_TRUE(store.writes.empty());  // the proxy stays set after the program
    EXPECT_TRUE(GetHideState().hidden);
    EXPECT_EQ(kept, (std::vector<std::pair<int, std::string>>{{port, "127.0.0.1"}}));
    EXPECT_EQ(window->IpHiding().RelayPort(), 0);
}

TEST_F(TrayTest, ExitAnsweredYesRestoresTheDirectConnectionFirst)
{
    ApplyProxy();
    prompt.Queue(IPrompt::AnsYes);
    window->RequestExit();
    EXPECT_EQ(store.writes, std::vector<std::string>{"restore"});
    EXPECT_FALSE(GetHideState().hidden);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
}

}  // namespace
