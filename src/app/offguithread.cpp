#include "app/offguithread.h"

#include <QEventLoop>
#include <QMetaObject>

#include <thread>

void RunOffGuiThread(const std::function<void()>& work)
{
    QEventLoop loop;
    std::thread worker([&] {
        work();
        // Queued: if it arrives before exec() starts, exec() handles it first thing.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}
