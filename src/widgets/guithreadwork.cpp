#include "widgets/guithreadwork.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QWidget>

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

CBusyScope::CBusyScope(QWidget* window) : window_(window), wasEnabled_(window->isEnabled())
{
    window_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CBusyScope::~CBusyScope()
{
    QApplication::restoreOverrideCursor();
    window_->setEnabled(wasEnabled_);
}
