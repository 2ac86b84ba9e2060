#include "widgets/urlopener.h"

#include <QDesktopServices>
#include <QUrl>

void CDesktopUrlOpener::Open(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}
