#include "widgets/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QRect DialogScreenArea(const QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    QScreen* screen = parent ? parent->screen() : dialog->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void CentreOnScreenWithoutShownParent(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (parent && parent->window()->isVisible())
        return;
    const QRect area = DialogScreenArea(dialog);
    if (area.isEmpty())
        return;
    // move() places the window frame, where the desktop draws one.
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(area.center());
    dialog->move(frame.topLeft());
}
