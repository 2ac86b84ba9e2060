#pragma once

#include <QRect>

class QWidget;

// The area of the screen a dialog may take: the available geometry of its
// parent's screen (else its own or the primary screen); empty without one.
QRect DialogScreenArea(const QWidget* dialog);

// Centres a dialog on the screen when its parent is not on screen (the main
// window while the program starts): Qt would centre it on the parent's
// geometry, which is not placed yet, and show it in the top-left corner. A
// dialog over a shown parent (the splash, a window) keeps Qt's place, centred
// on it. Call from showEvent, once the dialog has its size.
void CentreOnScreenWithoutShownParent(QWidget* dialog);
