// Draws the main window filled with proxies, flags and speed bars, one row
// selected, into the PNG named on the command line. Offscreen; nothing goes
// over the network (the addresses are loopback ones and the service address
// points at a closed loopback port). Used by scripts/screenshot.
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "data/countrycatalogue.h"
#include "data/ui/prolistctrl.h"
#include "service/startrequest.h"
#include "settings/setting.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RUN_DIR OUTPUT.png\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);
    const QString output = QString::fromLocal8Bit(argv[2]);
    if (chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    GetSetting().CreateDefaults();

    const struct {
        const char* code;
        int type;
        int uptime;
        int speed;
    } rows[] = {
        {"US", 3, 5, 420},   {"DE", 1, 5, 1350},  {"JP", 3, 5, 2100},  {"FR", 1, 4, 3800},  {"GB", 3, 5, 4500},
        {"CA", 1, 5, 5200},  {"NL", 3, 4, 6900},  {"BR", 1, 3, 8100},  {"SE", 3, 5, 9400},  {"IN", 1, 4, 11800},
        {"IT", 3, 2, 13300}, {"KR", 1, 3, 15600}, {"ES", 3, 2, 17200}, {"AU", 1, 1, 19000}, {"CH", 0, 0, 3600000},
    };
    CProxyList& list = GetProxyList();
    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        // The widest cells there are: 15-character addresses and five-digit ports.
        const std::string ip = "127.255." + std::to_string(100 + i) + "." + std::to_string(200 + i * 7 % 55);
        list.emplace_back(ip.c_str(), 40000 + i * 997 % 25000, FindCountryByCode(rows[i].code), rows[i].type,
                          rows[i].uptime, rows[i].speed);
    }
    // The real address is only shown, never contacted (a documentation address).
    std::strcpy(realAddress, "198.51.100.7");
    realCountry = FindCountryByCode("DE");

    CTolvaneDlg window(RealDesktop());
    window.LoadFlagImages();
    window.RefillProxyTable();
    window.IpHiding().ShowStartupAddress();
    window.move(200, 200);  // away from the pointer, which rests at the screen's origin
    window.show();
    QApplication::processEvents();

    CProListCtrl* table = window.Table();
    table->selectionModel()->setCurrentIndex(table->model()->index(1, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window.FocusTable();
    QApplication::processEvents();

    if (!window.grab().save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("wrote %s\n", argv[2]);
    return 0;
}
