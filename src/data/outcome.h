#pragma once

#include <string>

// What an operation that can fail came to: done, or the problem in words a
// user may read ("the desktop's proxy settings could not be written").
struct Outcome {
    bool done = false;
    std::string problem;

    static Outcome Done() { return Outcome{true, {}}; }
    static Outcome Failed(std::string problem) { return Outcome{false, std::move(problem)}; }
    explicit operator bool() const { return done; }
};
