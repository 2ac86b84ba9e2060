#include "app/splashdialog.h"

#include "app/splashartwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {
constexpr int kTickMilliseconds = 500;
constexpr QPoint kTextPosition(120, 240);
const QColor kTextColor(192, 192, 192);
}  // namespace

CSplashDialog::CSplashDialog(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      artwork_(MakeSplashArtwork())
{
    setObjectName(QStringLiteral("splash"));
    setAccessibleName(QStringLiteral("Velmora"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kSplashWidth, kSplashHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(&timer_, &QTimer::timeout, this, &CSplashDialog::Tick);
    timer_.start(kTickMilliseconds);
}

QString CSplashDialog::PhaseText() const
{
    return QStringLiteral("Initializing Application") + QString(phase_ + 1, QLatin1Char('.'));
}

void CSplashDialog::Tick()
{
    // Each tick shows the next phase; the strip under the text is redrawn
    // with it, so the previous dots disappear.
    phase_ = (phase_ + 1) % 3;
    update(kSplashStatusRect);
}

void CSplashDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, artwork_);
    p.setPen(kTextColor);
    p.drawText(QRect(kTextPosition, kSplashStatusRect.bottomRight()), Qt::AlignLeft | Qt::AlignTop, PhaseText());
}

void CSplashDialog::closeEvent(QCloseEvent* event)
{
    timer_.stop();
    QWidget::closeEvent(event);
}
