// Get Proxy against the stand-in service: the three kinds of answer,
// "proxy.tmp", the Replace or Append dialog, and the test that follows.
#include "mainwindowfixture.h"

#include "app/commands.h"
#include "data/ui/prolistctrl.h"
#include "service/retrieverequest.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "socksfixture.h"
#include "support/ui/testcountries.h"
#include "support/ui/uiwait.h"

#include "data/ui/proxytablemodel.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

namespace {

const std::string kTwoProxies = "127.0.0.5\t1085\t1\t1\t5\t900\r\n127.0.0.6\t1086\t0\t3\t4\t300\r\n";

// Answers the Replace or Append dialog when it shows: a radio button (or
// none) and then OK or Cancel.
void AnswerReplaceDialog(const char* radio, const char* button)
{
    WhenWindowShows(Text("replaceDialog"), [=](QWidget* dialog) {
        if (radio)
            dialog->findChild<QRadioButton*>(Text(radio))->click();
        dialog->findChild<QPushButton*>(Text(button))->click();
    });
}

// Fails the test (and rejects the dialog) should the Replace or Append dialog show.
class ReplaceDialogForbidden {
public:
    ReplaceDialogForbidden()
    {
        QObject::connect(&timer_, &QTimer::timeout, [] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->isVisible() && widget->objectName() == QLatin1String("replaceDialog")) {
                    ADD_FAILURE() << "the Replace or Append dialog showed";
                    static_cast<QDialog*>(widget)->reject();
                }
            }
        });
        timer_.start(20);
    }

private:
    QTimer timer_;
};

class GetProxyTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(StartWindow());
        GetSetting().SetNumber(SettingKey::TestType, static_cast<int>(TestType::None));
    }
};

// The user's own service in harvest mode with a key file that names no source.
class GetProxyFromOwnServiceTest : public GetProxyTest {
protected:
    std::vector<std::string> ServiceOptions() const override
    {
        return {"--config", config.WriteFile("service.conf", "[service]\nverify=false\n")};
    }
    TempDir config;
};

TEST(RetrieveAnswerTest, ClassifiesByLengthPrefixAndEmpty)
{
    EXPECT_EQ(ClassifyRetrieveAnswer("1.2.3.4\t80"), RetrieveAnswer::ProxyList);
    EXPECT_EQ(ClassifyRetrieveAnswer("12345678"), RetrieveAnswer::ProxyList);
    EXPECT_EQ(ClassifyRetrieveAnswer("1234567"), RetrieveAnswer::Unusable);
    EXPECT_EQ(ClassifyRetrieveAnswer("Empty"), RetrieveAnswer::NoProxies);
    EXPECT_EQ(ClassifyRetrieveAnswer("Empty\r\n"), RetrieveAnswer::NoProxies);
    EXPECT_EQ(ClassifyRetrieveAnswer("Empty\r\n\r\n"), RetrieveAnswer::Unusable);
    EXPECT_EQ(ClassifyRetrieveAnswer("1.2.3.x\t80"), RetrieveAnswer::Unusable);
    EXPECT_EQ(ClassifyRetrieveAnswer(""), RetrieveAnswer::Unusable);
}

TEST_F(GetProxyTest, AnswersThatAreNoProxyListLeaveEverythingAsItWas)
{
    const struct {
        std::string answer;
        const char* message;
    } cases[] = {
        {"1234567", "Could not access server,please try again later."},
        {"Empty\n", "Sorry, there is no proxy found for these countries."},
        {"No proxies: Empty list today", "Could not access server,please try again later."},
        {"abc\t1080\t0\t1\t5\t100\r\n", "Could not access server,please try again later."},
    };
    ShowProxies(LoopbackProxies(2));
    dir.WriteFile(kProxyTempFileName, "previous");
    for (const auto& c : cases) {
        SetRetrieveAnswer(c.answer);
        GetProxyCommand(*window);
        EXPECT_EQ(prompt.LastText(), Text(c.message)) << c.answer;
        EXPECT_EQ(dir.ReadFile(kProxyTempFileName), "previous") << c.answer;
        EXPECT_EQ(GetProxyList().size(), 2u);
        EXPECT_EQ(window->Table()->RowCount(), 2);
    }
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(GetProxyTest, IntoAnEmptyListWithoutTheDialogSortedBySpeed)
{
    ReplaceDialogForbidden forbidden;
    SetRetrieveAnswer(kTwoProxies);
    window->Controls().getProxyButton->click();
    EXPECT_TRUE(prompt.Prompts().empty());
    EXPECT_EQ(dir.ReadFile(kProxyTempFileName), kTwoProxies);
    EXPECT_EQ(ListedAddresses(), (std::vector<std::string>{"127.0.0.6:1086", "127.0.0.5:1085"}));
    EXPECT_EQ(window->Table()->RowCount(), 2);
    EXPECT_EQ(window->Table()->model()->index(0, 0).data().toString(), Text("Germany"));
    EXPECT_TRUE(window->Table()->hasFocus());
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(GetProxyTest, AppendKeepsTheOldEntryOfARepeatedProxyAndSavesTheChoice)
{
    CProxyList old;
    old.emplace_back("127.0.0.5", 1085, kTestFrance, 1, 2, 50);
    ShowProxies(old);
    GetSetting().SetFlag(SettingKey::ReplaceByGet, true);
    SetRetrieveAnswer(kTwoProxies);
    AnswerReplaceDialog("appendRadio", "okButton");
    GetProxyCommand(*window);

    ASSERT_EQ(GetProxyList().size(), 2u);
    const CProxy& kept = *FindProxy(GetProxyList(), CProxy("127.0.0.5", 1085, 0, 0, 0, 0));
    EXPECT_EQ(kept.speed, 50);
    EXPECT_EQ(kept.uptime, 2);
    EXPECT_EQ(window->Table()->RowCount(), 2);

    GetSetting().ResetForTest();
    GetSetting().Load();
    EXPECT_FALSE(GetSetting().GetMiscItem().replaceByGet);
}

TEST_F(GetProxyTest, ReplaceDropsTheOldProxies)
{
    ShowProxies(LoopbackProxies(3));
    SetRetrieveAnswer(kTwoProxies);
    AnswerReplaceDialog("replaceRadio", "okButton");
    GetProxyCommand(*window);
    EXPECT_EQ(ListedAddresses(), (std::vector<std::string>{"127.0.0.6:1086", "127.0.0.5:1085"}));
    GetSetting().ResetForTest();
    GetSetting().Load();
    EXPECT_TRUE(GetSetting().GetMiscItem().replaceByGet);
}

TEST_F(GetProxyTest, CancelLeavesTheTableButTheFileHoldsTheNewAnswer)
{
    ShowProxies(LoopbackProxies(3));
    GetSetting().SetFlag(SettingKey::ReplaceByGet, false);
    GetSetting().Save();
    SetRetrieveAnswer(kTwoProxies);
    AnswerReplaceDialog("replaceRadio", "cancelButton");
    GetProxyCommand(*window);
    EXPECT_EQ(GetProxyList().size(), 3u);
    EXPECT_EQ(window->Table()->RowCount(), 3);
    EXPECT_EQ(dir.ReadFile(kProxyTempFileName), kTwoProxies);
    GetSetting().ResetForTest();
    GetSetting().Load();
    EXPECT_FALSE(GetSetting().GetMiscItem().replaceByGet);  // the choice was not saved
}

TEST_F(GetProxyTest, AReplacingAnswerWithoutUsableLinesEmptiesTheTableToo)
{
    ShowProxies(LoopbackProxies(3));
    SetRetrieveAnswer("1234567890\r\n");
    AnswerReplaceDialog("replaceRadio", "okButton");
    GetProxyCommand(*window);
    EXPECT_TRUE(GetProxyList().empty());
    EXPECT_EQ(window->Table()->RowCount(), 0);
}

TEST_F(GetProxyTest, AnUnwritableProxyFileIsReported)
{
    ASSERT_EQ(mkdir(dir.File(kProxyTempFileName).c_str(), 0755), 0);
    SetRetrieveAnswer(kTwoProxies);
    GetProxyCommand(*window);
    EXPECT_EQ(prompt.LastText(),
              Text("Could not write local file in the folder ") + QDir::currentPath()
                  + Text(" (Is a directory).please give your user write access to that folder. Another choice is NOT "
                         "to run software from a system folder such as /usr/. More info could be found in ")
                  + QString::fromStdString(MakerWebAddress()) + Text(" FAQ."));
    EXPECT_TRUE(GetProxyList().empty());
}

TEST_F(GetProxyTest, NoNetworkAsksNothing)
{
    network.interfaces = FakeNetwork::Offline();
    SetRetrieveAnswer(kTwoProxies);
    GetProxyCommand(*window);
    EXPECT_EQ(prompt.LastText(), Text("Could not find network connection in your system."));
    EXPECT_TRUE(GetProxyList().empty());
    EXPECT_TRUE(dir.ReadFile(kProxyTempFileName).empty());
}

TEST_F(GetProxyTest, SpeedTestAfterGetProxyKeepsOnlyWorkingProxies)
{
    SocksFixture socks;
    SocksBehaviour serve;
    serve.action = SocksBehaviour::Action::Serve;
    const int good = socks.AddSocks(serve);
    SocksBehaviour reject;
    reject.action = SocksBehaviour::Action::Reject;
    const int bad = socks.AddSocks(reject);
    ASSERT_GT(good, 0);
    ASSERT_GT(bad, 0);

    GetSetting().SetNumber(SettingKey::TestType, static_cast<int>(TestType::Speed));
    GetSetting().SetNumber(SettingKey::TestTimeoutSeconds, 5);
    GetSetting().SetNumber(SettingKey::TestThreadCount, 5);
    SetRetrieveAnswer("127.0.0.1\t" + std::to_string(bad) + "\t0\t1\t0\t3600000\r\n127.0.0.1\t" + std::to_string(good)
                      + "\t1\t1\t0\t3600000\r\n");
    GetProxyCommand(*window);

    EXPECT_EQ(prompt.LastText(), Text("The proxy test is finished! 1 of 2 proxies passed."));
    ASSERT_EQ(ListedAddresses(), std::vector<std::string>{"127.0.0.1:" + std::to_string(good)});
    EXPECT_EQ(GetProxyList().front().uptime, 5);
    EXPECT_EQ(window->Table()->RowCount(), 1);
    EXPECT_GT(window->Table()->model()->index(0, 5).data(CProxyTableModel::SpeedScoreRole).toInt(), 0);
}

TEST_F(GetProxyFromOwnServiceTest, WithoutSourcesTheMessageSaysWhereToAddThem)
{
    GetProxyCommand(*window);
    EXPECT_EQ(prompt.LastText(), Text("Your Velmora service has no proxy lists to harvest: no sources are configured. "
                                      "Add the lists you want as sources= to ")
                                     + QString::fromStdString(config.File("service.conf"))
                                     + Text(", then restart the service."));
    EXPECT_TRUE(GetProxyList().empty());
}

}  // namespace
