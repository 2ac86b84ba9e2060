#include "widgets/prompt.h"

#include "widgets/uitext.h"

bool CPromptQuestion::AskYesNo(const std::string& text)
{
    return prompt_.Show(parent_, ToUi(text), IPrompt::YesNo) == IPrompt::AnsYes;
}
