#pragma once

#include <string>

// The machine's real address for the Real IP display, computed on the first
// call and cached: the address the service reported, otherwise the local
// host's address (the dial-up interface's address on a dial-up connection).
// Empty when there is none.
std::string GetRealAddress();

// Forgets the cached address so the next call computes it again.
void ResetRealAddressForTest();
