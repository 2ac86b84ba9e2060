#include "support/ui/scriptedprompt.h"

#include <gtest/gtest.h>

QStringList CScriptedPrompt::Texts() const
{
    QStringList texts;
    for (const Shown& shown : shown_)
        texts << shown.text;
    return texts;
}

IPrompt::Answer CScriptedPrompt::Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title)
{
    shown_.push_back({text, title, buttons, parent});
    if (onShow)
        onShow();
    if (!answers_.empty()) {
        const Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    if (buttons == Ok || buttons == Info)
        return AnsOk;
    ADD_FAILURE() << "unanswered question: " << text.toStdString();
    return AnsCancel;
}
