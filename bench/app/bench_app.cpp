// Times the main window's table refill with 100,000 proxies (target: under
// 0.2 s) and a header click that sorts them, each with the repaint that
// follows. Offscreen, with the run folder's countries and flags; nothing
// goes over the network (the service address points at a closed loopback port).
#include "app/commands.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "data/countrycatalogue.h"
#include "data/ui/prolistctrl.h"
#include "data/ui/proxytablemodel.h"
#include "settings/setting.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int kProxies = 100000;

CProxyList MakeProxies(int countries)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> country(-1, countries - 1), uptime(0, 5), speed(1, 20000), type(0, 3);
    CProxyList list;
    for (int i = 0; i < kProxies; ++i) {
        const std::string ip =
            "127." + std::to_string(i >> 16 & 255) + '.' + std::to_string(i >> 8 & 255) + '.' + std::to_string(i & 255);
        list.emplace_back(ip.c_str(), 1024 + i % 50000, country(random), type(random), uptime(random), speed(random));
    }
    return list;
}

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);
    if (chdir(VELMORA_RUN_DIR) != 0) {
        std::perror(VELMORA_RUN_DIR);
        return 1;
    }
    QApplication app(argc, argv);
    GetSetting().CreateDefaults();  // no settings file is written

    CTolvaneDlg window(RealDesktop());
    window.show();
    QApplication::processEvents();
    GetProxyList() = MakeProxies(GetCountryCatalogue().Count());

    const auto refillAndPaint = [&] {
        window.RefillProxyTable();
        window.repaint();
    };
    const double refill = Seconds([&] { window.RefillProxyTable(); });
    window.Table()->DeleteAllRows();
    const double refillPainted = Seconds(refillAndPaint);
    const double sortCountry = Seconds([&] {
        SortByColumnCommand(window, CProxyTableModel::CountryColumn);
        window.repaint();
    });
    const double sortSpeed = Seconds([&] {
        SortByColumnCommand(window, CProxyTableModel::SpeedColumn);
        window.repaint();
    });
    window.Table()->selectAll();
    const double removeAll = Seconds([&] { RemoveSelectedCommand(window); });

    std::printf("proxies: %d (table rows %d after the run)\n", kProxies, window.Table()->RowCount());
    std::printf("refill (model reset):             %.4f s (target < 0.2 s)\n", refill);
    std::printf("refill + repaint:                 %.4f s\n", refillPainted);
    std::printf("header click Country + repaint:   %.4f s\n", sortCountry);
    std::printf("header click Speed + repaint:     %.4f s\n", sortSpeed);
    std::printf("remove all 100,000 selected rows: %.4f s\n", removeAll);
    return 0;
}
