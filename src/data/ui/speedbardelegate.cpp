#include "data/ui/speedbardelegate.h"

#include "data/ui/proxytablemodel.h"
#include "data/ui/speedscore.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

namespace {
constexpr int kMaxBarWidth = 100;
constexpr int kVerticalMargin = 2;  // keeps the bars of neighbouring rows apart
}  // namespace

QRect CSpeedBarDelegate::BarRect(const QRect& cell)
{
    QRect bar = cell.adjusted(0, kVerticalMargin, 0, -kVerticalMargin);
    bar.setWidth(qMin(cell.width(), kMaxBarWidth));
    return bar;
}

void CSpeedBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
    // Selection highlight behind the bar, as for the other cells of the row.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, cell.widget);

    QStyleOptionProgressBar bar;
    bar.initFrom(cell.widget);
    bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    bar.rect = BarRect(option.rect);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = SpeedBarValue(index.data(CProxyTableModel::SpeedScoreRole).toInt());
    bar.textVisible = false;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, cell.widget);
}
