#include "app/commands.h"
#include "app/commandscope.h"
#include "app/desktop.h"
#include "app/replacedialog.h"
#include "app/tolvanedlg.h"
#include "browser/networkstate.h"
#include "data/proxyfile.h"
#include "service/retrieverequest.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "widgets/guithreadwork.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

#include <QFileInfo>

namespace {

Retrieval Retrieve(CTolvaneDlg& window)
{
    CBusyScope busy(&window);
    Retrieval retrieval;
    RunOffGuiThread([&retrieval] { retrieval = RetrieveProxies(); });
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
    switch (retrieval.kind) {
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

    if (const Outcome written = WriteAnswerFile(kProxyTempFileName, answer); !written) {
        Tell(window, WriteFailureText(kProxyTempFileName, written.problem));
        return;
    }

    CProxyList& list = GetProxyList();
    bool replace = GetSetting().GetMiscItem().replaceByGet;
    if (!list.empty()) {
        CReplaceDialog dialog(replace, &window);
        if (dialog.exec() != QDialog::Accepted)
            return;
        // The choice is the one the dialog offers next time.
        replace = dialog.Replace();
        GetSetting().SetFlag(SettingKey::ReplaceByGet, replace);
        GetSetting().Save();
    }

    GetSetting().FollowServiceTestTarget({retrieval.targetUrl, retrieval.targetExpected});
    const bool read = ReadProxyFile(list, kProxyTempFileName, replace) && !list.empty();
    if (read) {
        RunTestAfterGetProxy(window, GetSetting().GetTestItem().testType);
    }
    // Shown even when the file yielded nothing: replacing may have emptied
    // the list, and the table must never show proxies that are gone.
    window.ProxyListChanged(read ? CTolvaneDlg::ListOrder::ByHeader : CTolvaneDlg::ListOrder::AsLeft);
}
