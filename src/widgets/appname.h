#pragma once

#include <QString>

// The caption message boxes and windows carry.
inline const QString kAppName = QStringLiteral("Velmora");
