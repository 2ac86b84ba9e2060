#pragma once

#include <string>

// The service keeps running for the user's session, so a removed package
// would leave it running from a deleted file. These notice that and tidy up
// what velmora-launcher put into the user's folders for it.

// True when the file this process runs from was deleted or replaced (an
// uninstall, an upgrade or a rebuild).
bool ProgramFileReplaced();
// True when nothing is at the program's path any more: an uninstall.
bool ProgramFileGone();

// After an uninstall: removes the launcher's links to the installed data that
// now lead nowhere, the last proxy list, and the service's pid, port, lock and log
// files, so that nothing but the user's own settings stays. Returns what it
// removed, one path a line.
std::string RemoveLeftoversOfUninstall();
