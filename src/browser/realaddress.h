#pragma once

#include <string>

class INetworkState;

// The machine's real address for the Real IP display, computed on the first
// call and cached: reportedAddress (what the service saw) when it is not
// empty, otherwise a local address: the dial-up interface's on a dial-up
// connection, else the one of the interface of the default route, else the
// host name's unless that is loopback (Debian maps the host name to
// 127.0.1.1). Empty when there is none.
std::string GetRealAddress(const std::string& reportedAddress, INetworkState& network);
// Whether the cached address is a local one (the service reported none).
bool RealAddressIsLocal();

// Forgets the cached address so the next call computes it again.
void ResetRealAddressForTest();
