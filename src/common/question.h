#pragma once

#include <string>

// A yes/no question to the user, asked by core code (the Firefox and
// Chromium profile changes) without knowing how: the widgets answer it with
// a message box (CPromptQuestion), tests from a script. Header only, below
// every library, so neither side depends on the other.
class IQuestion {
public:
    virtual ~IQuestion() = default;
    virtual bool AskYesNo(const std::string& text) = 0;
};
