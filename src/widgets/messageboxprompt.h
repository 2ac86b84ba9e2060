#pragma once

#include "widgets/prompt.h"

// IPrompt shown as a modal QMessageBox. The icon follows the buttons: a
// question mark when the user has to choose, an exclamation mark otherwise.
class CMessageBoxPrompt : public IPrompt {
public:
    Answer Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title = {}) override;
};
