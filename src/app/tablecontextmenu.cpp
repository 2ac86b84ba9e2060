#include "app/commands.h"
#include "app/tolvanedlg.h"

#include <QAction>
#include <QMenu>

void ShowTableContextMenu(CTolvaneDlg& window, const QPoint& globalPos)
{
    QMenu menu(&window);
    menu.setObjectName(QStringLiteral("tableMenu"));
    QAction* invert = menu.addAction(QStringLiteral("Invert Selection"));
    invert->setObjectName(QStringLiteral("invertSelectionAction"));
    QAction* removeSelected = menu.addAction(QStringLiteral("Remove Selected Proxies"));
    removeSelected->setObjectName(QStringLiteral("removeSelectedAction"));
    QAction* removeAll = menu.addAction(QStringLiteral("Remove All Proxies"));
    removeAll->setObjectName(QStringLiteral("removeAllAction"));

    // The command runs after the menu has closed, like a posted command.
    QAction* chosen = menu.exec(globalPos);
    if (chosen == invert)
        InvertSelectionCommand(window);
    else if (chosen == removeSelected)
        RemoveSelectedCommand(window);
    else if (chosen == removeAll)
        RemoveAllCommand(window);
}
