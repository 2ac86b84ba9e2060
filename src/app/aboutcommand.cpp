#include "app/aboutdialog.h"
#include "app/commands.h"
#include "app/tolvanedlg.h"

void AboutCommand(CTolvaneDlg& window)
{
    CAboutDialog about(&window);
    about.exec();
}
