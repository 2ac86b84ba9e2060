// The commands that act on the proxy table: selection, removal, sorting and
// the table's context menu (which also offers the About box).
#include "app/commands.h"

#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "data/ui/prolistctrl.h"
#include "widgets/prompt.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>

#include <vector>

// Selected rows become unselected and the others selected; focus and list stay.
void InvertSelectionCommand(CTolvaneDlg& window)
{
    CProListCtrl* table = window.Table();
    QAbstractItemModel* model = table->model();
    const int rows = model->rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(model->index(0, 0), model->index(rows - 1, model->columnCount() - 1));
    table->selectionModel()->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

// Removes every selected row's proxy, however many rows are selected, in one
// pass over the list (row i is list entry i).
void RemoveSelectedCommand(CTolvaneDlg& window)
{
    const std::vector<int> rows = window.Table()->SelectedRows();
    if (rows.empty()) {
        window.Desktop().prompt.Show(&window, QStringLiteral("No selected proxy to remove!"), IPrompt::Ok);
        return;
    }
    CProxyList& list = GetProxyList();
    auto next = rows.begin();
    int index = 0;
    for (auto entry = list.begin(); entry != list.end() && next != rows.end(); ++index) {
        if (index == *next) {
            entry = list.erase(entry);
            ++next;
        } else {
            ++entry;
        }
    }
    window.ProxyListChanged();
}

void RemoveAllCommand(CTolvaneDlg& window)
{
    if (window.Table()->RowCount() == 0) {
        window.Desktop().prompt.Show(&window, QStringLiteral("No proxy to remove!"), IPrompt::Ok);
        return;
    }
    if (window.Desktop().prompt.Show(&window, QStringLiteral("Do you really want to remove all proxies?"),
                                     IPrompt::OkCancel)
        != IPrompt::AnsOk)
        return;
    GetProxyList().clear();
    window.ProxyListChanged();
}

void SortByColumnCommand(CTolvaneDlg& window, int column)
{
    CSortState& sort = window.SortState();
    if (!sort.ApplyHeaderClick(column))
        return;
    window.ProxyListChanged(CTolvaneDlg::ListOrder::ByHeader);
}

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
    menu.addSeparator();
    QAction* about = menu.addAction(QStringLiteral("About Velmora...\tF1"));
    about->setObjectName(QStringLiteral("aboutAction"));

    // exec returns once the menu has closed: the chosen command runs without it.
    QAction* chosen = menu.exec(globalPos);
    if (chosen == invert)
        InvertSelectionCommand(window);
    else if (chosen == removeSelected)
        RemoveSelectedCommand(window);
    else if (chosen == removeAll)
        RemoveAllCommand(window);
    else if (chosen == about)
        AboutCommand(window);
}
