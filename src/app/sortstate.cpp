#include "app/sortstate.h"

#include "data/ui/proxytablemodel.h"

bool CSortState::ApplyHeaderClick(int column)
{
    SortKey clicked;
    switch (column) {
    case CProxyTableModel::CountryColumn: clicked = SortByCountry; break;
    case CProxyTableModel::UptimeColumn: clicked = SortByUptime; break;
    case CProxyTableModel::SpeedColumn: clicked = SortBySpeed; break;
    default: return false;
    }
    if (clicked == key) {
        normalOrder = !normalOrder;
    } else {
        key = clicked;
        normalOrder = true;
    }
    return true;
}
