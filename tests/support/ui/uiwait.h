#pragma once

#include <QString>

#include <functional>

class QWidget;

// Turns the event loop until condition holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Runs action on the first visible top-level widget (dialog, menu) named
// objectName as soon as it shows, from inside whatever modal loop shows it.
// A widget that does not show within timeoutMs fails the running test.
void WhenWindowShows(const QString& objectName, std::function<void(QWidget*)> action, int timeoutMs = 10000);
