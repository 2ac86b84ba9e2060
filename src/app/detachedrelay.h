#pragma once

#include <string>
#include <vector>

#include "data/proxy.h"

// The relay kept running after the program ends, when the user chose to keep
// the proxy applied at exit: velmora-relay, beside the program, in a process
// of its own, on the port the desktop names. Its pid is kept in
// ${XDG_STATE_HOME:-~/.local/state}/velmora/relay.pid.
std::string DetachedRelayPidPath();

// Starts it relaying to the proxies, the first in use, the others in turn
// when it stops answering. False when it did not come up within a few
// seconds.
bool StartDetachedRelay(int port, const std::vector<CProxy>& proxies);

// Ends a relay left running by an earlier run, so that its port is free for
// the program's own. Only a velmora-relay process of this user is signalled.
void StopDetachedRelay();
