#pragma once

#include "settings/setting.h"

#include <QPoint>

class CTolvaneDlg;

// The main window's commands, in files by what they act on: the proxy list
// (getproxycommand.cpp, testcommands.cpp), the table (tablecommands.cpp) and
// the window (windowcommands.cpp). They run on the GUI thread and reach the
// window's controls through CTolvaneDlg.
void GetProxyCommand(CTolvaneDlg& window);
void TestSpeedCommand(CTolvaneDlg& window);
void RemoveSelectedCommand(CTolvaneDlg& window);
void RemoveAllCommand(CTolvaneDlg& window);
void InvertSelectionCommand(CTolvaneDlg& window);
void SortByColumnCommand(CTolvaneDlg& window, int column);
void SettingCommand(CTolvaneDlg& window);
void AboutCommand(CTolvaneDlg& window);
void ShowTableContextMenu(CTolvaneDlg& window, const QPoint& globalPos);

// The web pages: support page, home page, proxy-list site.
void OpenHelpPageCommand(CTolvaneDlg& window);
void OpenHomePageCommand(CTolvaneDlg& window);
void OpenProxyListSiteCommand(CTolvaneDlg& window);

// The test Get Proxy runs on the fresh list, by the settings' test type.
// Returns once the run's progress dialog has closed.
void RunTestAfterGetProxy(CTolvaneDlg& window, TestType testType);
