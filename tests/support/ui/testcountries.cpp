#include "support/ui/testcountries.h"

#include "support/tempdir.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>

void WriteTestCountries(const TempDir& dir)
{
    dir.WriteFile("countries.nbx", "DE\tGermany\r\nFR\tFrance\r\nUS\tUnited States\r\nJP\tJapan\r\n");
    const QString flags = QString::fromStdString(dir.File("flags"));
    QDir().mkpath(flags);
    const struct {
        const char* code;
        QColor colour;
    } pictures[] = {{"DE", QColor(255, 204, 0)}, {"FR", QColor(0, 85, 164)}, {"US", QColor(178, 34, 52)}};
    for (const auto& picture : pictures) {
        QImage flag(25, 15, QImage::Format_RGB32);
        flag.fill(picture.colour);
        flag.save(flags + QStringLiteral("/%1.png").arg(QLatin1String(picture.code)), "PNG");
    }
}
