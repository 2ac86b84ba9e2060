#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Program files and process names count as Firefox when they contain
// "firefox" in any letter case (firefox-esr, FIREFOX, ...).
inline bool NameContainsFirefox(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.find("firefox") != std::string::npos;
}
