#pragma once

#include "service/startrequest.h"

class CTolvaneDlg;

// What the start answer's evaluation shows, on the main window: the
// unreachable message, a pushed message (closing types 3 and 4 ends the
// program), and the exit request.
class CStartAnswerUi : public IStartAnswerUi {
public:
    explicit CStartAnswerUi(CTolvaneDlg& window) : window_(window) {}

    void ShowUnreachable() override;
    void ShowPushMessage(const PushMessage& message) override;
    void RequestExit() override;

private:
    CTolvaneDlg& window_;
};
