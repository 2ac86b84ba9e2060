#include "app/appicons.h"

#include <QString>

QIcon AppIcon(AppIconId id)
{
    const char* name = "velmora";
    switch (id) {
    case AppIconId::Program: name = "velmora"; break;
    case AppIconId::GetProxy: name = "get-proxy"; break;
    case AppIconId::TestSpeed: name = "test-speed"; break;
    case AppIconId::HideIp: name = "hide-ip"; break;
    case AppIconId::RestoreIp: name = "restore-ip"; break;
    case AppIconId::Delete: name = "delete"; break;
    case AppIconId::Setting: name = "setting"; break;
    case AppIconId::CheckIp: name = "check-ip"; break;
    }
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QString::fromLatin1(name)));
}
