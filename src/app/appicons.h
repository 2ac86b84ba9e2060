#pragma once

#include <QIcon>

// The program's icons, built into the program from res/icons.
enum class AppIconId { Program, GetProxy, TestSpeed, HideIp, RestoreIp, Delete, Setting, CheckIp };

QIcon AppIcon(AppIconId id);
