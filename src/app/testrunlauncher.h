#pragma once

#include "settings/setting.h"

class CTolvaneDlg;

// The test Get Proxy runs on the fresh list, by the settings' test type.
// Returns once the run's progress dialog has closed.
void RunTestAfterGetProxy(CTolvaneDlg& window, TestType testType);

// A speed test of the whole list behind the modal progress dialog.
void RunSpeedTestWithProgress(CTolvaneDlg& window);
