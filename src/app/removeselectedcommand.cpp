#include "app/commands.h"
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "data/ui/prolistctrl.h"
#include "widgets/prompt.h"

#include <vector>

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
    window.RefillProxyTable();
    window.FocusTable();
}
