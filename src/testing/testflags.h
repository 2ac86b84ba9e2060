#pragma once

#include <atomic>

class IMessageTarget;

// The user canceled the running test: transfers end when they see it.
std::atomic<bool>& testCanceled();
// The open progress dialog; job threads post their progress there when set.
std::atomic<IMessageTarget*>& progressWindow();

// Posts the progress message (count proxies finished) to progressWindow, if set.
void PostTestProgress(int count);
// Posts the completion of a run to progressWindow, if set.
void PostTestComplete();
