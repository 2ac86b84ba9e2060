#include "support/ui/uiwait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
constexpr int kPollMilliseconds = 10;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, kPollMilliseconds);
    }
    return true;
}

void WhenWindowShows(const QString& objectName, std::function<void(QWidget*)> action, int timeoutMs)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* found = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->objectName() == objectName)
                found = widget;
        }
        if (!found && clock->elapsed() <= timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (found)
            action(found);
        else
            ADD_FAILURE() << "no window named " << objectName.toStdString() << " showed up";
    });
    timer->start(kPollMilliseconds);
}
