#pragma once

#include "widgets/prompt.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

// Stands in for the message boxes: records every prompt and answers from a queue. A plain notice (Ok, Info) with
// nothing queued is answered Ok; a question with nothing queued fails the running test and gets Cancel, so an
// unexpected question never passes unnoticed.
class CScriptedPrompt : public IPrompt {
public:
    struct Shown {
        QString text;
        QString title;  // as passed; empty means the application name
        Buttons buttons;
        const QWidget* parent;  // the window the box would be shown over
    };

    void Queue(Answer answer) { answers_.push_back(answer); }
    const std::vector<Shown>& Prompts() const { return shown_; }
    QStringList Texts() const;
    QString LastText() const { return shown_.empty() ? QString() : shown_.back().text; }
    size_t PendingAnswers() const { return answers_.size(); }
    void Clear()
    {
        shown_.clear();
        answers_.clear();
    }

    Answer Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title = {}) override;

    // Runs as each prompt is shown, to look at the windows behind it.
    std::function<void()> onShow;

private:
    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
};
