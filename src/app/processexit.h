#pragma once

#include <functional>

// Ends the process at once with the given code: nothing is saved and no
// destructors run. Tests install their own function to observe the exit
// instead of dying; the program then carries on after the call.
void EndProcess(int exitCode);
// An empty function brings back the real exit.
void SetEndProcessForTest(std::function<void(int)> endProcess);
