#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <QToolButton>

// A flat button with its icon above the caption (or beside it for small
// icons). The caption doubles as the accessible name so assistive tools and
// UI tests find the button by what it says. A disabled button shows its
// icon grey and faint.
QToolButton* MakeImageButton(QWidget* parent, const QString& objectName, const QString& caption, const QIcon& icon,
                             const QString& toolTip, const QSize& iconSize = QSize(32, 32));

// Changes caption, icon and tooltip together, keeping the accessible name in step.
void SetImageButtonFace(QToolButton* button, const QString& caption, const QIcon& icon, const QString& toolTip);
