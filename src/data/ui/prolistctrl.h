#pragma once

#include "data/proxy.h"

#include <QTableView>

#include <vector>

class CFlagImages;
class CProxyTableModel;

// The proxy table of the main window: six columns the user cannot resize,
// as wide as the font needs, full-row
// selection of any number of rows, flags in the Country column, Speed as a
// bar. A right-click left of the Speed column emits contextMenuRequested with
// the screen position; header clicks come out of horizontalHeader()'s
// sectionClicked. A cell whose text is cut shows the whole text as its
// tooltip.
class CProListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CProListCtrl(const CFlagImages* flags, QWidget* parent = nullptr);

    CProxyTableModel* ProxyModel() const { return model_; }
    // Rebuilds the rows from the list (the timeout scales the Speed score).
    void Refill(const CProxyList& list, int timeoutMilliseconds);
    void DeleteAllRows();
    int RowCount() const;
    // Indices of the selected rows, ascending.
    std::vector<int> SelectedRows() const;
    // Whether a right-click at this viewport position may open the menu.
    bool InContextMenuArea(const QPoint& viewportPos) const;
    // Whether the cell is too narrow for its whole text.
    bool IsCut(const QModelIndex& index) const;

    // Sets every column to its least width or, when wider, to what its header
    // and its widest possible text need at the table's font; the table's
    // least width then holds every column without a horizontal scroll bar.
    void FitColumnsToFont();

signals:
    void contextMenuRequested(const QPoint& globalPos);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CProxyTableModel* model_;
};
