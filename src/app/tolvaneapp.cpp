#include "app/tolvaneapp.h"

#include "app/appicons.h"
#include "app/desktop.h"
#include "app/singleinstance.h"
#include "app/splashdialog.h"
#include "app/tolvanedlg.h"
#include "service/curlglobal.h"
#include "widgets/appname.h"

#include <QStyleFactory>

CTolvaneApp::CTolvaneApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(kAppName);
    setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    setDesktopFileName(QStringLiteral("velmora"));
    setWindowIcon(AppIcon(AppIconId::Program));
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // The window lives in the tray: closing it must not end the program.
    setQuitOnLastWindowClosed(false);
}

int CTolvaneApp::InitInstance()
{
    // Once, before any thread makes a transfer.
    EnsureCurlGlobalInit();

    CSingleInstance instance;
    if (instance.HandOverToRunningCopy())
        return 0;

    CSplashDialog splash;
    splash.show();

    CTolvaneDlg window(RealDesktop());
    QObject::connect(&instance, &CSingleInstance::showRequested, &window, &CTolvaneDlg::ShowFromTray);
    if (!window.Initialize(&splash))
        return 255;
    window.show();
    return exec();
}
