#pragma once

#include <QPoint>

class CTolvaneDlg;

// The main window's commands, one file each. They run on the GUI thread and
// reach the window's controls through CTolvaneDlg.
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
