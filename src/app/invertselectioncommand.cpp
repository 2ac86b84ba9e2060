#include "app/commands.h"
#include "app/tolvanedlg.h"
#include "data/ui/prolistctrl.h"

#include <QItemSelectionModel>

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
