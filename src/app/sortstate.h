#pragma once

#include "data/proxy.h"

// The table's sort order: starts fastest first and lives for the process.
struct CSortState {
    SortKey key = SortBySpeed;
    bool normalOrder = true;

    // A click on a header column: Country, Uptime and Speed pick their key
    // (the same key again flips the order); IP, Port and Type are ignored.
    // True when the state was changed and the list has to be sorted.
    bool ApplyHeaderClick(int column);
};
