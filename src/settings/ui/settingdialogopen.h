#pragma once

// True while a CSettingDialog object exists; the tray menu greys its
// "Setting" entry meanwhile. Read and written on the user-interface thread only.
bool SettingDialogOpen();
