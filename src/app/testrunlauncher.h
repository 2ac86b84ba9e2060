#pragma once

class CTolvaneDlg;

// The test Get Proxy runs on the fresh list, by the settings' testType:
// 1 availability check, 2 speed test, anything else none. Returns once the
// run's progress dialog has closed.
void RunTestAfterGetProxy(CTolvaneDlg& window, int testType);

// A speed test of the whole list behind the modal progress dialog.
void RunSpeedTestWithProgress(CTolvaneDlg& window);
