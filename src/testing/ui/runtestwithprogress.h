#pragma once

#include "testing/ui/progressdialog.h"

// Tests the process-wide proxy list on the run's worker behind the modal
// progress dialog: starts the run thread, runs the dialog until the run has
// ended and joins the thread. The list then holds the proxies that passed,
// fastest first. False when the list was empty and nothing ran.
bool RunTestWithProgress(QWidget* parent, const TestRunUi& run, IPrompt& prompt);
