#pragma once

class QWidget;

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
