// The main window's start-up, its table commands and how it hides and shows.
#include "mainwindowfixture.h"

#include "app/appicons.h"
#include "app/commands.h"
#include "app/splashdialog.h"
#include "app/trayicon.h"
#include "data/ui/prolistctrl.h"
#include "data/ui/proxytablemodel.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "support/ui/testapplication.h"
#include "support/ui/testcountries.h"
#include "support/ui/uiwait.h"

#include <QAction>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

namespace {

TEST_F(MainWindowTest, StartUpShowsTheRealAddressAndWritesDefaultSettings)
{
    ASSERT_TRUE(StartWindow());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(prompt.Prompts().empty());
    EXPECT_EQ(window->windowTitle(), Text("Velmora"));
    // The stand-in service reports the caller's address and DE.
    const CMainWindowControls& c = window->Controls();
    EXPECT_EQ(c.realIpLabel->text(), Text("127.0.0.1"));
    EXPECT_EQ(c.currentIpLabel->text(), Text("127.0.0.1"));
    EXPECT_FALSE(c.realIpFlag->pixmap().isNull());
    EXPECT_FALSE(c.currentIpFlag->pixmap().isNull());
    EXPECT_EQ(window->Tray()->ToolTip(), Text("Tolvane : Real IP"));
    EXPECT_FALSE(dir.ReadFile("setting.nbx").empty());
    EXPECT_TRUE(GetSetting().IsLoaded());
}

TEST_F(MainWindowTest, ButtonsCarryTheirCaptionsTooltipsAndNames)
{
    ASSERT_TRUE(StartWindow());
    const struct {
        const char* name;
        const char* caption;
        const char* tip;
    } buttons[] = {
        {"getProxyButton", "Get Proxy", "Get proxy and Test"},
        {"testSpeedButton", "Test Speed", "Full test for proxy's availability and speed"},
        {"hideIpButton", "Hide IP", "Hide your real IP"},
        {"deleteButton", "Delete", "Delete selected proxies"},
        {"settingButton", "Setting", "Change configuration"},
        {"checkIpButton", "Check IP in Google Map", "Check your IP location in Google Map online"},
    };
    for (const auto& b : buttons) {
        auto* button = window->findChild<QToolButton*>(Text(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), Text(b.caption));
        EXPECT_EQ(button->accessibleName(), Text(b.caption));
        EXPECT_EQ(button->toolTip(), Text(b.tip));
        EXPECT_FALSE(button->icon().isNull()) << b.name;
    }
    EXPECT_NE(window->findChild<CProListCtrl*>(Text("proxyTable")), nullptr);
}

// What a button's icon shows: how many pixels have a clear hue (caption and
// frame are grey) and how far the icon stands out from the background.
struct IconLook {
    int coloured = 0;
    double contrast = 0;
};

IconLook LookOfIcon(QToolButton* button)
{
    const QImage image = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The icon's part of the button: above the caption, or left of it.
    QRect icon = image.rect();
    if (button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon)
        icon.setBottom(image.height() - button->fontMetrics().height() - 6);
    else
        icon.setRight(button->iconSize().width() + 6);
    const QColor background = image.pixelColor(1, 1);
    IconLook look;
    for (int y = icon.top(); y <= icon.bottom(); ++y)
        for (int x = icon.left(); x <= icon.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            look.coloured += std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60;
            look.contrast += std::abs(c.red() - background.red()) + std::abs(c.green() - background.green())
                             + std::abs(c.blue() - background.blue());
        }
    return look;
}

TEST_F(MainWindowTest, EveryImageButtonLooksGreyedWhenDisabled)
{
    ASSERT_TRUE(StartWindow());
    const auto buttons = window->findChildren<QToolButton*>();
    ASSERT_GE(buttons.size(), 6);
    for (QToolButton* button : buttons) {
        SCOPED_TRACE(button->objectName().toStdString());
        button->setEnabled(true);
        const IconLook enabled = LookOfIcon(button);
        EXPECT_GT(enabled.coloured, 20);  // no icon looks greyed while it works
        button->setEnabled(false);
        const IconLook disabled = LookOfIcon(button);
        EXPECT_EQ(disabled.coloured, 0);
        EXPECT_LT(disabled.contrast, enabled.contrast / 2);
        button->setEnabled(true);
    }
}

TEST_F(MainWindowTest, NoNetworkAtStartUpTellsAndEnds)
{
    network.interfaces = FakeNetwork::Offline();
    EXPECT_FALSE(StartWindow());
    EXPECT_EQ(prompt.Texts(), QStringList{Text("Could not find network connection in your system.")});
    EXPECT_EQ(exitCodes, std::vector<int>{-1});

    // While the splash shows, the box is shown over it, not over the window
    // that has no place yet.
    CSplashDialog splash;
    splash.show();
    window = std::make_unique<CTolvaneDlg>(desktop);
    EXPECT_FALSE(window->Initialize(&splash));
    ASSERT_EQ(prompt.Prompts().size(), 2u);
    EXPECT_EQ(prompt.Prompts().back().parent, &splash);
}

class UnreachableServiceTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);  // nothing listens on the discard port
    }
};

TEST_F(UnreachableServiceTest, EmptyStartAnswerTellsAndEnds)
{
    EXPECT_FALSE(StartWindow());
    EXPECT_EQ(prompt.LastText(), Text("Could not access server,please try again later."));
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
}

class PushedExitMessageTest : public MainWindowTest {
protected:
    std::vector<std::string> ServiceOptions() const override
    {
        return {"--message", "Please update", "--message-type", "3"};
    }
};

TEST_F(PushedExitMessageTest, ClosingAnExitMessageEndsTheStartUp)
{
    bool shown = false;
    WhenWindowShows(Text("pushMessage"), [&](QWidget* dialog) {
        shown = true;
        dialog->close();
    });
    EXPECT_FALSE(StartWindow());
    EXPECT_TRUE(shown);
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
    EXPECT_FALSE(window->Tray()->Menu()->isVisible());
}

TEST_F(MainWindowTest, HeaderClicksSortByCountryUptimeAndSpeed)
{
    ASSERT_TRUE(StartWindow());
    CProxyList list;
    list.emplace_back("127.0.0.1", 1, kTestUnitedStates, 1, 3, 300);
    list.emplace_back("127.0.0.2", 2, kTestGermany, 1, 5, 100);
    list.emplace_back("127.0.0.3", 3, kTestFrance, 1, 4, 200);
    ShowProxies(list);
    QHeaderView* header = window->Table()->horizontalHeader();
    auto click = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    auto order = [&] {
        std::string ports;
        for (int row = 0; row < window->Table()->RowCount(); ++row)
            ports += window->Table()->model()->index(row, 2).data().toString().toStdString();
        return ports;
    };

    click(CProxyTableModel::SpeedColumn);  // already by speed: reverses
    EXPECT_EQ(order(), "132");
    EXPECT_FALSE(window->SortState().normalOrder);
    click(CProxyTableModel::SpeedColumn);
    EXPECT_EQ(order(), "231");
    click(CProxyTableModel::CountryColumn);
    EXPECT_EQ(window->SortState().key, SortByCountry);
    EXPECT_TRUE(window->SortState().normalOrder);
    EXPECT_EQ(order(), "231");  // DE, FR, US
    click(CProxyTableModel::UptimeColumn);
    EXPECT_EQ(order(), "231");  // 5/5, 4/5, 3/5
    for (int column : {CProxyTableModel::IpColumn, CProxyTableModel::PortColumn, CProxyTableModel::TypeColumn}) {
        click(column);
        EXPECT_EQ(window->SortState().key, SortByUptime);
        EXPECT_TRUE(window->SortState().normalOrder);
    }
    click(CProxyTableModel::UptimeColumn);
    EXPECT_EQ(order(), "132");
}

TEST_F(MainWindowTest, RemoveSelectedKeepsTheOtherRowsInOrder)
{
    ASSERT_TRUE(StartWindow());
    ShowProxies(LoopbackProxies(10));
    SelectRows({2, 5, 7});
    window->Controls().deleteButton->click();
    EXPECT_EQ(ListedAddresses(),
              (std::vector<std::string>{"127.0.0.1:1081", "127.0.0.2:1082", "127.0.0.4:1084", "127.0.0.5:1085",
                                        "127.0.0.7:1087", "127.0.0.9:1089", "127.0.0.10:1090"}));
    EXPECT_EQ(window->Table()->RowCount(), 7);
    EXPECT_TRUE(window->Table()->hasFocus());

    // The Delete key does the same; with nothing selected it says so.
    window->Table()->clearSelection();
    QTest::keyClick(window->Table(), Qt::Key_Delete);
    EXPECT_EQ(prompt.LastText(), Text("No selected proxy to remove!"));
    EXPECT_EQ(GetProxyList().size(), 7u);
}

TEST_F(MainWindowTest, RemoveSelectedTakesEveryRowOfALargeSelection)
{
    ASSERT_TRUE(StartWindow());
    CProxyList list;
    for (int i = 0; i < 1000; ++i)
        list.emplace_back("127.0.1.1", 2000 + i, -1, 0, 0, kUnmeasuredSpeed);
    ShowProxies(list);
    window->Table()->selectAll();
    window->Table()->selectionModel()->select(window->Table()->model()->index(999, 0),
                                              QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    RemoveSelectedCommand(*window);
    ASSERT_EQ(GetProxyList().size(), 1u);
    EXPECT_EQ(GetProxyList().front().port, 2999);
    EXPECT_EQ(window->Table()->RowCount(), 1);
}

TEST_F(MainWindowTest, InvertSelectionFlipsEveryRow)
{
    ASSERT_TRUE(StartWindow());
    ShowProxies(LoopbackProxies(4));
    InvertSelectionCommand(*window);
    EXPECT_EQ(window->Table()->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
    SelectRows({1, 3});
    InvertSelectionCommand(*window);
    EXPECT_EQ(window->Table()->SelectedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(GetProxyList().size(), 4u);
}

TEST_F(MainWindowTest, RemoveAllAsksFirstAndTellsWhenEmpty)
{
    ASSERT_TRUE(StartWindow());
    RemoveAllCommand(*window);
    EXPECT_EQ(prompt.LastText(), Text("No proxy to remove!"));

    ShowProxies(LoopbackProxies(3));
    prompt.Queue(IPrompt::AnsCancel);
    RemoveAllCommand(*window);
    EXPECT_EQ(prompt.LastText(), Text("Do you really want to remove all proxies?"));
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::OkCancel);
    EXPECT_EQ(window->Table()->RowCount(), 3);

    prompt.Queue(IPrompt::AnsOk);
    RemoveAllCommand(*window);
    EXPECT_TRUE(GetProxyList().empty());
    EXPECT_EQ(window->Table()->RowCount(), 0);
}

TEST_F(MainWindowTest, ContextMenuRunsTheChosenCommand)
{
    ASSERT_TRUE(StartWindow());
    ShowProxies(LoopbackProxies(3));
    SelectRows({1});
    QWidget* viewport = window->Table()->viewport();
    const QPoint ipCell(window->Table()->columnViewportPosition(1) + 5, window->Table()->rowViewportPosition(1) + 5);
    QStringList items;
    WhenWindowShows(Text("tableMenu"), [&](QWidget* widget) {
        auto* menu = static_cast<QMenu*>(widget);
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                items << action->text();
        }
        menu->setActiveAction(menu->findChild<QAction*>(Text("removeSelectedAction")));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, ipCell, viewport->mapToGlobal(ipCell));
    QApplication::sendEvent(viewport, &event);
    ASSERT_TRUE(WaitUntil([&] { return GetProxyList().size() == 2; }));
    EXPECT_EQ(items, (QStringList{Text("Invert Selection"), Text("Remove Selected Proxies"), Text("Remove All Proxies"),
                                  Text("About Velmora...\tF1")}));
    EXPECT_EQ(ListedAddresses(), (std::vector<std::string>{"127.0.0.1:1081", "127.0.0.3:1083"}));
}

// The window keeps one fixed size, at least 520 x 500, and grows with the
// table's columns when the font needs more room.
TEST_F(MainWindowTest, FixedSizeGrowsWithTheColumns)
{
    ASSERT_TRUE(StartWindow());
    const auto fixed = [this] { return window->minimumSize() == window->maximumSize(); };
    EXPECT_TRUE(fixed());
    EXPECT_GE(window->width(), 520);
    EXPECT_EQ(window->height(), 500);
    EXPECT_GE(window->Table()->width(), window->Table()->minimumWidth());

    QFont large = window->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    window->setFont(large);
    EXPECT_TRUE(fixed());
    EXPECT_GT(window->width(), 520);
    EXPECT_GE(window->Table()->width(), window->Table()->minimumWidth());
}

TEST_F(MainWindowTest, WebPageCommandsOpenTheServicePages)
{
    ASSERT_TRUE(StartWindow());
    window->Controls().checkIpButton->click();
    window->Tray()->helpAction->trigger();
    window->Tray()->websiteAction->trigger();
    EXPECT_EQ(opener.opened,
              (QStringList{QString::fromStdString(ProxyListSiteUrl()), QString::fromStdString(SupportPageUrl()),
                           QString::fromStdString(HomePageUrl())}));
    EXPECT_TRUE(opener.opened.front().startsWith(QString::fromStdString(service->BaseUrl())));
}

TEST_F(MainWindowTest, CloseMinimiseAndEscapeHideAndTheTrayBringsItBack)
{
    ASSERT_TRUE(StartWindow());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(exitCodes.empty());

    window->OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window->isVisible());

    QTest::keyClick(window->Table(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window->Tray()->openAction->trigger();
    EXPECT_TRUE(window->isVisible());

    window->showMinimized();
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    window->OnTrayActivated(QSystemTrayIcon::Trigger);  // a single click does nothing
    EXPECT_FALSE(window->isVisible());
    window->Tray()->openAction->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(MainWindowTest, EnterDoesNothing)
{
    ASSERT_TRUE(StartWindow());
    ShowProxies(LoopbackProxies(2));
    window->FocusTable();
    QTest::keyClick(window->Table(), Qt::Key_Return);
    QTest::keyClick(window->Controls().getProxyButton, Qt::Key_Enter);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_TRUE(prompt.Prompts().empty());
    EXPECT_EQ(GetProxyList().size(), 2u);
}

TEST_F(MainWindowTest, WithoutATrayTheWindowMinimisesAndCloseAsksToExit)
{
    trayAvailable = false;
    ASSERT_TRUE(StartWindow());
    QTest::keyClick(window->Table(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    window->close();
    EXPECT_EQ(exitCodes, std::vector<int>{-1});
}

TEST(SplashTest, DotsCountUpEveryHalfSecond)
{
    EnsureTestApplication();
    CSplashDialog splash;
    EXPECT_EQ(splash.PhaseText(), Text("Initializing Application."));
    EXPECT_TRUE(WaitUntil([&] { return splash.Phase() == 1; }, 2000));
    EXPECT_EQ(splash.PhaseText(), Text("Initializing Application.."));
    EXPECT_TRUE(WaitUntil([&] { return splash.Phase() == 2; }, 2000));
    EXPECT_EQ(splash.PhaseText(), Text("Initializing Application..."));
    EXPECT_TRUE(WaitUntil([&] { return splash.Phase() == 0; }, 2000));
}

}  // namespace
