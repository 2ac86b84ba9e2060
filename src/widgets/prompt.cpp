#include "widgets/prompt.h"

#include "widgets/messageboxprompt.h"

namespace {
IPrompt* installedPrompt = nullptr;
}

IPrompt& Prompt()
{
    static CMessageBoxPrompt messageBox;
    return installedPrompt ? *installedPrompt : messageBox;
}

void SetPromptForTest(IPrompt* prompt)
{
    installedPrompt = prompt;
}
