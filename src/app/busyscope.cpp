#include "app/busyscope.h"

#include <QApplication>
#include <QWidget>

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
