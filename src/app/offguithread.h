#pragma once

#include <functional>

// Runs work on a thread of its own and keeps the GUI thread's events turning
// until it is done, so windows go on painting and timers go on ticking while a
// request to the service waits. work must not touch widgets.
void RunOffGuiThread(const std::function<void()>& work);
