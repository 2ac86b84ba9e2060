#pragma once

#include "data/proxy.h"

class CSettingTestItem;

// Tests list in place (speed test or availability check) with settings,
// drawing a progress bar on standard error when it is a terminal. Ctrl+C
// cancels like the dialog's Cancel button: list keeps what passed so far.
// Returns false when the run was canceled.
bool RunCheck(CProxyList& list, const CSettingTestItem& settings, bool availability);
