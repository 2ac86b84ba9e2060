#include "app/commands.h"
#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/replacedialog.h"
#include "app/retrieveanswer.h"
#include "app/tolvanedlg.h"
#include "browser/networkstate.h"
#include "data/proxyfile.h"
#include "service/postform.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "widgets/guithreadwork.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

#include <QFileInfo>

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

// Names the folder the answer file goes to and the system's reason.
QString WriteFailureText(const std::string& path, const std::string& reason)
{
    const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
    return QStringLiteral("Could not write local file in the folder %1 (%2).please give your user write access to "
                          "that folder. Another choice is NOT to run software from a system folder such as /usr/. "
                          "More info could be found in %3 FAQ.")
        .arg(folder, QString::fromStdString(reason), ToUi(MakerWebAddress()));
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

    std::string whyNotWritten;
    if (!WriteAnswerFile(kProxyTempFileName, answer, &whyNotWritten)) {
        Tell(window, WriteFailureText(kProxyTempFileName, whyNotWritten));
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
