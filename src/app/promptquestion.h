#pragma once

#include "browser/firefox.h"

class QWidget;

// Yes/No questions of core code (the Firefox reconciliation) asked through Prompt().
class CPromptQuestion : public IQuestion {
public:
    explicit CPromptQuestion(QWidget* parent) : parent_(parent) {}
    bool AskYesNo(const std::string& text) override;

private:
    QWidget* parent_;
};
