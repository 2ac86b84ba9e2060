#include "app/splashartwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

void DrawBackground(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, kSplashHeight);
    sky.setColorAt(0.0, QColor(16, 32, 64));
    sky.setColorAt(1.0, QColor(6, 12, 28));
    p.fillRect(0, 0, kSplashWidth, kSplashHeight, sky);
    p.setPen(QPen(QColor(70, 110, 170), 2));
    p.drawRect(1, 1, kSplashWidth - 2, kSplashHeight - 2);
}

void DrawGlobe(QPainter& p, const QPointF& centre, qreal radius)
{
    QRadialGradient sea(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    sea.setColorAt(0.0, QColor(80, 170, 230));
    sea.setColorAt(1.0, QColor(16, 70, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(centre, radius, radius);

    // Meridians and parallels.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(190, 230, 255, 150), 1.2));
    for (qreal f : {0.25, 0.6, 0.9})
        p.drawEllipse(centre, radius * f, radius);
    for (qreal f : {-0.6, -0.3, 0.0, 0.3, 0.6}) {
        const qreal y = centre.y() + radius * f;
        const qreal half = radius * std::sqrt(1 - f * f);
        p.drawLine(QPointF(centre.x() - half, y), QPointF(centre.x() + half, y));
    }

    // A route of hops around the globe: the proxies.
    QPainterPath route;
    route.moveTo(centre + QPointF(-radius * 1.35, radius * 0.55));
    route.cubicTo(centre + QPointF(-radius * 0.6, -radius * 1.2), centre + QPointF(radius * 0.7, -radius * 1.1),
                  centre + QPointF(radius * 1.35, radius * 0.2));
    p.setPen(QPen(QColor(255, 200, 60), 2, Qt::DashLine));
    p.drawPath(route);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 80));
    for (qreal t : {0.0, 0.35, 0.7, 1.0})
        p.drawEllipse(route.pointAtPercent(t), 4.5, 4.5);
}

void DrawTitle(QPainter& p)
{
    QFont title(QStringLiteral("Sans Serif"), 26, QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(240, 246, 255));
    p.drawText(QRect(0, 150, kSplashWidth, 44), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Velmora"));
    QFont subtitle(QStringLiteral("Sans Serif"), 9);
    p.setFont(subtitle);
    p.setPen(QColor(150, 180, 220));
    p.drawText(QRect(0, 194, kSplashWidth, 20), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Get working socks proxy every day"));
}

void DrawStatusStrip(QPainter& p)
{
    p.setPen(QPen(QColor(60, 90, 140), 1));
    p.setBrush(QColor(10, 20, 42));
    p.drawRoundedRect(QRectF(kSplashStatusRect).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
}

}  // namespace

QPixmap MakeSplashArtwork()
{
    QPixmap pixmap(kSplashWidth, kSplashHeight);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawBackground(p);
    DrawGlobe(p, QPointF(kSplashWidth / 2.0, 82), 56);
    DrawTitle(p);
    DrawStatusStrip(p);
    return pixmap;
}
