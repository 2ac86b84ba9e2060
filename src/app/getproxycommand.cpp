#include "app/commands.h"
#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/guithreadwork.h"
#include "app/replacedialog.h"
#include "app/retrieveanswer.h"
#include "app/tolvanedlg.h"
#include "browser/networkstate.h"
#include "data/proxyfile.h"
#include "service/postform.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

namespace {

std::string Retrieve(CTolvaneDlg& window)
{
    CBusyScope busy(&window);
    std::string answer;
    // A failed request counts as no answer: the bytes of a transfer that broke
    // off are never taken for a proxy list.
    RunOffGuiThread([&answer] {
        if (!PostForm(RetrieveEndpoint(), "OperationType=4", answer))
            answer.clear();
    });
    return answer;
}

void Tell(CTolvaneDlg& window, const QString& text)
{
    window.Desktop().prompt.Show(&window, text, IPrompt::Ok);
}

}  // namespace

// Fetches a proxy list from the service into "proxy.tmp", merges it into the
// list as the user chooses, tests it as the settings ask and shows it sorted.
void GetProxyCommand(CTolvaneDlg& window)
{
    CCommandScope running;
    if (!window.Desktop().network.Query().connected) {
        Tell(window, QStringLiteral("Could not find network connection in your system."));
        return;
    }

    const std::string answer = Retrieve(window);
    switch (ClassifyRetrieveAnswer(answer)) {
    case RetrieveAnswer::NoProxies:
        Tell(window, QStringLiteral("Sorry, there is no proxy found for these countries."));
        return;
    case RetrieveAnswer::Unusable:
        Tell(window, QStringLiteral("Could not access server,please try again later."));
        return;
    case RetrieveAnswer::ProxyList: break;
    }

    if (!WriteAnswerFile(kProxyTempFileName, answer)) {
        Tell(window, QStringLiteral("Could not write local file.please run software as Windows Administrator. "
                                    "Another choice is NOT to install software to C:\\Program Files\\ folder. "
                                    "More info could be found in ")
                         + ToUi(MakerWebAddress()) + QStringLiteral(" FAQ."));
        return;
    }

    CProxyList& list = GetProxyList();
    if (!list.empty()) {
        CReplaceDialog dialog(&window);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }

    const CSettingMiscItem* misc = GetSetting().GetMiscItem();
    const bool replace = misc && misc->replaceByGet;
    if (ReadProxyFile(list, kProxyTempFileName, replace) && !list.empty()) {
        const CSettingTestItem* test = GetSetting().GetTestItem();
        RunTestAfterGetProxy(window, test ? test->testType : TestType::None);
        SortProxyList(GetProxyList(), window.SortState().key, window.SortState().normalOrder);
    }
    // Refilled even when the file yielded nothing: replacing may have emptied
    // the list, and the table must never show proxies that are gone.
    window.RefillProxyTable();
    window.FocusTable();
}
