#include "flagimages.h"

#include <QDir>
#include <QImage>

namespace {

constexpr int kFlagWidth = 25;
constexpr int kFlagHeight = 15;
constexpr int kOpaqueAlpha = 128;  // below this a pixel counts as margin or shadow

// The smallest rectangle holding every opaque pixel; the whole image when it has no alpha.
QRect OpaqueBounds(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image.rect();
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= kOpaqueAlpha)
                bounds |= QRect(x, y, 1, 1);
    return bounds.isEmpty() ? image.rect() : bounds;
}

}  // namespace

int WriteFlagImages(const QVector<CountryLine>& countries, const QString& sourceDir, const QString& outputDir,
                    QString& error)
{
    if (!QDir().mkpath(outputDir)) {
        error = QStringLiteral("cannot create %1").arg(outputDir);
        return -1;
    }
    int written = 0;
    for (const CountryLine& country : countries) {
        const QString code = QString::fromLatin1(country.code);
        const QImage source(QDir(sourceDir).filePath(code.toLower() + QStringLiteral(".png")));
        if (source.isNull())
            continue;  // no source flag: the country is shown without one
        const QImage flag = source.copy(OpaqueBounds(source))
                                .scaled(kFlagWidth, kFlagHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString target = QDir(outputDir).filePath(code + QStringLiteral(".png"));
        if (!flag.save(target, "PNG")) {
            error = QStringLiteral("cannot write %1").arg(target);
            return -1;
        }
        ++written;
    }
    return written;
}
