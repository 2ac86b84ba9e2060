#pragma once

#include <QLabel>
#include <QString>

// A label with an object name whose accessible name is its text.
QLabel* MakeLabel(QWidget* parent, const char* objectName, const QString& text);
