#include "app/startanswerui.h"

#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "service/ui/pushmessage.h"
#include "widgets/prompt.h"

void CStartAnswerUi::ShowUnreachable()
{
    window_.Desktop().prompt.Show(&window_, QStringLiteral("Could not access server,please try again later."),
                                  IPrompt::Ok);
}

void CStartAnswerUi::ShowPushMessage(const PushMessage& message)
{
    CPushMessage dialog(message, window_.Desktop().urlOpener, &window_);
    dialog.SetExitCallback([this] { RequestExit(); });
    dialog.exec();
}

void CStartAnswerUi::RequestExit()
{
    window_.RequestExit();
}
