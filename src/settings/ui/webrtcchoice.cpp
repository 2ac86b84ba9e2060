#include "settings/ui/webrtcchoice.h"

#include <set>
#include <string>

#include "browser/webrtcpolicy.h"
#include "settings/onoffsetting.h"
#include "widgets/prompt.h"

namespace {

std::set<std::string>& Told()
{
    static std::set<std::string> told;
    return told;
}

// Shows the leak message of every result that has one; with onceEach only
// for browsers not told about before.
void Tell(const std::vector<WebRtcResult>& results, bool onceEach, IPrompt& prompt, QWidget* parent)
{
    for (const WebRtcResult& result : results) {
        const std::string text = WebRtcLeakMessage(result);
        if (text.empty() || (onceEach && !Told().insert(result.browser).second))
            continue;
        prompt.Show(parent, QString::fromStdString(text), IPrompt::Ok);
    }
}

}  // namespace

bool ApplyWebRtcChoice(bool keep, IPrompt& prompt, QWidget* parent)
{
    const std::vector<ChromiumBrowser> browsers = ChromiumBrowsersOfUser();
    CPromptQuestion question(prompt, parent);
    const std::vector<WebRtcResult> results = KeepWebRtcBehindProxy(browsers, keep, question, WebRtcSavedValuesPath());
    if (keep) {
        Tell(results, false, prompt, parent);
        return true;
    }
    bool allBack = true;
    for (const WebRtcResult& result : results) {
        if (result.outcome == WebRtcOutcome::PutBack)
            continue;
        allBack = false;
        prompt.Show(parent,
                    QStringLiteral("The WebRTC setting of %1 could not be put back as it was (%2), so "
                                   "\"Keep WebRTC behind the proxy\" stays on.")
                        .arg(QString::fromStdString(result.browser), result.outcome == WebRtcOutcome::NotClosed
                                                                         ? QStringLiteral("the browser was not closed")
                                                                         : QString::fromStdString(result.where)),
                    IPrompt::Ok);
    }
    return allBack;
}

void CheckWebRtcAfterHideIp(IPrompt& prompt, QWidget* parent)
{
    const std::vector<ChromiumBrowser> browsers = ChromiumBrowsersOfUser();
    std::vector<WebRtcResult> results;
    if (GetWebRtcSetting().on) {
        CPromptQuestion question(prompt, parent);
        results = KeepWebRtcBehindProxy(browsers, true, question, WebRtcSavedValuesPath());
    } else {
        results = WebRtcAsItIs(browsers);
    }
    Tell(results, true, prompt, parent);
}

void ResetWebRtcNoticesForTest()
{
    Told().clear();
}
