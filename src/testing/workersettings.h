#pragma once

// Thread count for a process-wide worker: the settings' "Test Thread Count"
// when the settings are loaded, else its default of 10.
int ConfiguredThreadCount();
