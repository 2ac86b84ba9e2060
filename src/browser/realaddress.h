#pragma once

#include <string>

class INetworkState;

// The machine's real address for the Real IP display, computed on the first
// call and cached: reportedAddress (what the service saw) when it is not
// empty, otherwise the local host's address (the dial-up interface's address
// on a dial-up connection). Empty when there is none.
std::string GetRealAddress(const std::string& reportedAddress, INetworkState& network);

// Forgets the cached address so the next call computes it again.
void ResetRealAddressForTest();
