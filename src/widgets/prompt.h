#pragma once

#include "widgets/appname.h"

#include <QString>

class QWidget;

// Modal questions and notices. All message boxes go through Prompt() so tests
// can answer them from a script instead of a person.
class IPrompt {
public:
    enum Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum Answer { AnsOk, AnsCancel, AnsYes, AnsNo };

    virtual ~IPrompt() = default;
    // An empty title means the application name.
    virtual Answer Show(QWidget* parent, const QString& text, Buttons buttons,
                        const QString& title = {}) = 0;
};

// The process-wide prompt: a QMessageBox unless a test installed its own.
IPrompt& Prompt();
// nullptr puts the QMessageBox prompt back.
void SetPromptForTest(IPrompt* prompt);
