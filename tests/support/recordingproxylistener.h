#pragma once

#include <string>
#include <vector>

#include "browser/systemproxy.h"

// Records each call a proxy operation makes to its listener, in order
// ("applied", "restored"). Header only: link velmora_browser.
struct RecordingProxyListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override { calls.emplace_back("applied"); }
    void OnProxyRestored() override { calls.emplace_back("restored"); }
    std::vector<std::string> calls;
};
