#pragma once

#include "widgets/prompt.h"

// IPrompt shown as a modal QMessageBox. The icon follows the buttons: a
// question mark when the user has to choose, an exclamation mark otherwise.
// Over a parent that is not shown yet, the box is centred on the screen.
class CMessageBoxPrompt : public IPrompt {
public:
    Answer Show(QWidget* parent, const QString& text, Buttons buttons, const QString& title = {}) override;
};
