#include "app/commands.h"
#include "app/tolvanedlg.h"

void SortByColumnCommand(CTolvaneDlg& window, int column)
{
    CSortState& sort = window.SortState();
    if (!sort.ApplyHeaderClick(column))
        return;
    SortProxyList(GetProxyList(), sort.key, sort.normalOrder);
    window.RefillProxyTable();
}
