#include "data/ui/prolistctrl.h"

#include "data/ui/flagimages.h"
#include "data/ui/proxytablemodel.h"
#include "data/ui/speedbardelegate.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>

#include <algorithm>

#include <cstdint>

namespace {
constexpr int kRowHeight = 20;
}

CProListCtrl::CProListCtrl(const CFlagImages* flags, QWidget* parent)
    : QTableView(parent), model_(new CProxyTableModel(flags, this))
{
    setModel(model_);
    setItemDelegateForColumn(CProxyTableModel::SpeedColumn, new CSpeedBarDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);  // Ctrl+A selects every row
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setIconSize(CFlagImages::kFlagSize);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(kRowHeight);

    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(10);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Fixed);  // no dragging, no double-click fit
    FitColumnsToFont();
}

void CProListCtrl::FitColumnsToFont()
{
    const QFontMetrics metrics(font());
    // The widest digit of this font stands for every varying digit.
    QChar widestDigit = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widestDigit))
            widestDigit = QChar(digit);
    }
    // An item view cell pads its text with the focus frame's margin plus one
    // pixel on each side (QCommonStyle); two pixels more keep the text clear
    // of eliding at any rounding of a scaled font.
    const int cellPadding = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    QHeaderView* header = horizontalHeader();
    int total = 0;
    for (int column = 0; column < CProxyTableModel::ColumnCount; ++column) {
        int width = std::max(CProxyTableModel::ColumnWidth(column), header->sectionSizeHint(column));
        QString widest = CProxyTableModel::WidestText(column);
        if (!widest.isEmpty()) {
            for (QChar& c : widest) {
                if (c.isDigit())
                    c = widestDigit;
            }
            width = std::max(width, metrics.horizontalAdvance(widest) + cellPadding);
        }
        header->resizeSection(column, width);
        total += width;
    }
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    setMinimumWidth(total + scrollBar + 2 * frameWidth());
}

void CProListCtrl::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitColumnsToFont();
}

void CProListCtrl::Refill(const CProxyList& list, int timeoutMilliseconds)
{
    model_->Refill(list, timeoutMilliseconds);
}

void CProListCtrl::DeleteAllRows()
{
    model_->Clear();
}

int CProListCtrl::RowCount() const
{
    return model_->rowCount();
}

std::vector<int> CProListCtrl::SelectedRows() const
{
    std::vector<int> rows;
    // Walk the selection ranges instead of listing every index: a full
    // selection of 100,000 rows is one range.
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool CProListCtrl::InContextMenuArea(const QPoint& viewportPos) const
{
    return RowCount() > 0 && viewport()->rect().contains(viewportPos)
           && viewportPos.x() < columnViewportPosition(CProxyTableModel::SpeedColumn);
}

bool CProListCtrl::IsCut(const QModelIndex& index) const
{
    QAbstractItemDelegate* delegate = itemDelegateForIndex(index);
    if (!delegate || index.data().toString().isEmpty())
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return delegate->sizeHint(option, index).width() > visualRect(index).width();
}

bool CProListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    // The columns cannot be widened, so a cell whose text is cut (a long
    // country name) shows the whole text as its tooltip.
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (index.isValid() && IsCut(index))
        QToolTip::showText(help->globalPos(), index.data().toString(), viewport(), visualRect(index));
    else
        QToolTip::hideText();
    return true;
}

void CProListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard)
        return;
    if (!InContextMenuArea(viewport()->mapFromGlobal(event->globalPos())))
        return;
    emit contextMenuRequested(event->globalPos());
}
