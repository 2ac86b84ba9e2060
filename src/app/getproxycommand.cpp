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
#include "service/servicestatus.h"
#include "service/startrequest.h"
#include "settings/setting.h"
#include "widgets/guithreadwork.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

#include <QFileInfo>

namespace {

// What Get Proxy asks the service: the retrieve answer; with a proxy list the
// service's test target, which the settings follow unless the user typed
// their own (the service verified its proxies with that page); with none the
// reason the service's status page gives.
struct Retrieval {
    std::string answer;
    DefaultTestTarget serviceTarget;
    std::string noProxyReason;
};

Retrieval Retrieve(CTolvaneDlg& window)
{
    CBusyScope busy(&window);
    Retrieval retrieval;
    // A failed request counts as no answer: the bytes of a transfer that broke
    // off are never taken for a proxy list.
    RunOffGuiThread([&retrieval] {
        if (!PostForm(RetrieveEndpoint(), "OperationType=4", retrieval.answer)) {
            retrieval.answer.clear();
            return;
        }
        switch (ClassifyRetrieveAnswer(retrieval.answer)) {
        case RetrieveAnswer::ProxyList:
            RequestTestTarget(retrieval.serviceTarget.url, retrieval.serviceTarget.expected);
            break;
        case RetrieveAnswer::NoProxies: retrieval.noProxyReason = NoProxyReason(RequestServiceStatus()); break;
        case RetrieveAnswer::Unusable: break;
        }
    });
    return retrieval;
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

    const Retrieval retrieval = Retrieve(window);
    const std::string& answer = retrieval.answer;
    switch (ClassifyRetrieveAnswer(answer)) {
    case RetrieveAnswer::NoProxies:
        // The user's own service says why it has none; any other answers "Empty" only.
        Tell(window, retrieval.noProxyReason.empty()
                         ? QStringLiteral("Sorry, there is no proxy found for these countries.")
                         : ToUi(retrieval.noProxyReason));
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

    GetSetting().FollowServiceTestTarget(retrieval.serviceTarget);
    const bool replace = GetSetting().GetMiscItem().replaceByGet;
    if (ReadProxyFile(list, kProxyTempFileName, replace) && !list.empty()) {
        RunTestAfterGetProxy(window, GetSetting().GetTestItem().testType);
        SortProxyList(GetProxyList(), window.SortState().key, window.SortState().normalOrder);
    }
    // Refilled even when the file yielded nothing: replacing may have emptied
    // the list, and the table must never show proxies that are gone.
    window.RefillProxyTable();
    window.FocusTable();
}
