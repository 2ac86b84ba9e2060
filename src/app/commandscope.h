#pragma once

// Marks a command that reads the settings or the proxy list over a nested
// event loop (a request, a test run). The tray menu stays usable meanwhile
// and greys "Setting" so the settings cannot change under the command.
class CCommandScope {
public:
    CCommandScope() { ++depth_; }
    ~CCommandScope() { --depth_; }
    CCommandScope(const CCommandScope&) = delete;
    CCommandScope& operator=(const CCommandScope&) = delete;

    static bool Running() { return depth_ > 0; }

private:
    static inline int depth_ = 0;  // GUI thread only
};
