#pragma once

#include "common/question.h"
#include "widgets/appname.h"

#include <QString>

class QWidget;

// Modal questions and notices. Every message box goes through an IPrompt
// handed to the window or dialog, so tests can answer them from a script
// instead of a person.
class IPrompt {
public:
    // Ok is a notice with the warning icon; Info a notice of a success, with
    // the information icon.
    enum Buttons { Ok, OkCancel, YesNo, YesNoCancel, Info };
    enum Answer { AnsOk, AnsCancel, AnsYes, AnsNo };

    virtual ~IPrompt() = default;
    // An empty title means the application name.
    virtual Answer Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title = {}) = 0;
};

// Yes/No questions of core code (the Firefox profile changes) asked through a prompt.
class CPromptQuestion : public IQuestion {
public:
    CPromptQuestion(IPrompt& prompt, QWidget* parent) : prompt_(prompt), parent_(parent) {}
    bool AskYesNo(const std::string& text) override;

private:
    IPrompt& prompt_;
    QWidget* parent_;
};
