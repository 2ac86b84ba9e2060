#include "widgets/urlopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

class CDesktopUrlOpener : public IUrlOpener {
public:
    void Open(const QString& url) override { QDesktopServices::openUrl(QUrl(url)); }
};

IUrlOpener* installedOpener = nullptr;

} // namespace

IUrlOpener& UrlOpener()
{
    static CDesktopUrlOpener desktop;
    return installedOpener ? *installedOpener : desktop;
}

void SetUrlOpenerForTest(IUrlOpener* opener)
{
    installedOpener = opener;
}
