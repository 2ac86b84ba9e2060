#include "widgets/imagebutton.h"

#include <QImage>
#include <QPixmap>

namespace {

// The disabled look of an icon: its grey levels, faint. Qt's own disabled
// pixmap (the style's lighter copy) leaves an icon that is grey already
// looking the same in both states.
QPixmap DisabledPixmap(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 96 + qGray(line[x]) * 5 / 8;  // lighter and flatter, away from black
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 2 / 5);
        }
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(pixmap.devicePixelRatio());
    return result;
}

// The icon with a greyed pixmap of each of its sizes for QIcon::Disabled.
QIcon WithDisabledLook(const QIcon& icon)
{
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes.append(QSize(48, 48));
    QIcon result;
    for (const QSize& size : sizes) {
        const QPixmap normal = icon.pixmap(size, 1.0);
        if (normal.isNull())
            continue;
        result.addPixmap(normal, QIcon::Normal);
        result.addPixmap(DisabledPixmap(normal), QIcon::Disabled);
    }
    return result.isNull() ? icon : result;
}

}  // namespace

QToolButton* MakeImageButton(QWidget* parent, const QString& objectName, const QString& caption, const QIcon& icon,
                             const QString& toolTip, const QSize& iconSize)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIconSize(iconSize);
    button->setToolButtonStyle(iconSize.height() >= 24 ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    SetImageButtonFace(button, caption, icon, toolTip);
    return button;
}

void SetImageButtonFace(QToolButton* button, const QString& caption, const QIcon& icon, const QString& toolTip)
{
    button->setText(caption);
    button->setAccessibleName(caption);
    button->setIcon(WithDisabledLook(icon));
    button->setToolTip(toolTip);
}
