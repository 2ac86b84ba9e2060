#pragma once

#include <QStyledItemDelegate>

// Paints the Speed cell as a progress bar of 0..100 from the row's score,
// at most 100 pixels wide from the cell's left edge, without a number.
class CSpeedBarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The bar's place inside a cell: from its left edge, at most 100 pixels
    // wide, a little shorter than the row.
    static QRect BarRect(const QRect& cell);
};
