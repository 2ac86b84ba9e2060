#include "widgets/imagebutton.h"

QToolButton* MakeImageButton(QWidget* parent, const QString& objectName, const QString& caption, const QIcon& icon,
                             const QString& toolTip, const QSize& iconSize)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIconSize(iconSize);
    button->setToolButtonStyle(iconSize.height() >= 24 ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    SetImageButtonFace(button, caption, icon, toolTip);
    return button;
}

void SetImageButtonFace(QToolButton* button, const QString& caption, const QIcon& icon, const QString& toolTip)
{
    button->setText(caption);
    button->setAccessibleName(caption);
    button->setIcon(icon);
    button->setToolTip(toolTip);
}
