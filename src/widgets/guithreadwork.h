#pragma once

#include <functional>

class QWidget;

// Runs work on a thread of its own and keeps the GUI thread's events turning
// until it is done, so windows go on painting and timers go on ticking while a
// request to the service waits. work must not touch widgets.
void RunOffGuiThread(const std::function<void()>& work);

// While it lives the window takes no input and the cursor shows the wait
// shape: used around requests to the service, which run off the GUI thread.
// Dialogs are never shown inside it (they would open disabled).
class CBusyScope {
public:
    explicit CBusyScope(QWidget* window);
    ~CBusyScope();
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

private:
    QWidget* window_;
    bool wasEnabled_;
};
