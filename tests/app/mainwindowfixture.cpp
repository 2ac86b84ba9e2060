#include "mainwindowfixture.h"

#include "app/trayicon.h"
#include "browser/firefox.h"
#include "browser/realaddress.h"
#include "data/countrycatalogue.h"
#include "data/ui/prolistctrl.h"
#include "service/startrequest.h"
#include "settings/setting.h"
#include "support/ui/testapplication.h"
#include "support/ui/testcountries.h"

#include <QItemSelectionModel>
#include <QTest>

#include <cstdlib>
#include <cstring>

void MainWindowTest::SetUpTestSuite()
{
    EnsureTestApplication();
}

std::vector<std::string> MainWindowTest::ServiceOptions() const
{
    return {"--country", "DE", "--proxies", dir.File("retrieve.txt")};
}

void MainWindowTest::SetUp()
{
    WriteTestCountries(dir);
    chdir = std::make_unique<ScopedChdir>(dir.Path());
    setenv("HOME", home.Path().c_str(), 1);  // Firefox profile lookups stay in an empty home

    service = std::make_unique<ServiceFixture>(ServiceOptions());
    ASSERT_TRUE(service->Running());
    service->UseAsService();

    ResetCountryCatalogueForTest();
    ResetFirefoxPathsForTest();
    ResetRealAddressForTest();
    GetSetting().ResetForTest();
    GetProxyList().clear();
    GetHideState() = HideState();
    realAddress[0] = '\0';
    realCountry = -1;
}

void MainWindowTest::TearDown()
{
    window.reset();
    GetProxyList().clear();
    GetHideState() = HideState();
    GetSetting().ResetForTest();
    ResetCountryCatalogueForTest();
    service.reset();
    chdir.reset();
}

bool MainWindowTest::StartWindow()
{
    window = std::make_unique<CTolvaneDlg>(desktop);
    const bool started = window->Initialize(nullptr);
    if (started) {
        window->show();
        // Keyboard shortcuts and focus need the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    return started;
}

void MainWindowTest::ShowProxies(const CProxyList& proxies)
{
    GetProxyList() = proxies;
    window->RefillProxyTable();
}

void MainWindowTest::SelectRows(const std::vector<int>& rows)
{
    CProListCtrl* table = window->Table();
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void MainWindowTest::SetRetrieveAnswer(const std::string& answer)
{
    dir.WriteFile("retrieve.txt", answer);
}

std::vector<std::string> MainWindowTest::ListedAddresses() const
{
    std::vector<std::string> addresses;
    for (const CProxy& proxy : GetProxyList())
        addresses.push_back(std::string(proxy.ip) + ":" + std::to_string(proxy.port));
    return addresses;
}

CProxyList LoopbackProxies(int n)
{
    CProxyList list;
    for (int i = 1; i <= n; ++i)
        list.emplace_back(("127.0.0." + std::to_string(i)).c_str(), 1080 + i, i % 3, 1, 5, 100 * i);
    return list;
}
