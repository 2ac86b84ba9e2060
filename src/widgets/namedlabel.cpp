#include "widgets/namedlabel.h"

QLabel* MakeLabel(QWidget* parent, const char* objectName, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setAccessibleName(text);
    return label;
}
