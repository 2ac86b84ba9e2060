#include "settings/ui/settingpage.h"

#include <QKeyEvent>

void CSettingPage::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // Accepted here, so the event never reaches QDialog's default-button
        // and reject handling.
        event->accept();
        return;
    default: QWidget::keyPressEvent(event);
    }
}
