#include "app/tolvanedlg.h"

#include "app/desktop.h"
#include "app/splashdialog.h"
#include "app/startanswerui.h"
#include "app/trayicon.h"
#include "browser/firefox.h"
#include "browser/networkstate.h"
#include "data/countrycatalogue.h"
#include "service/startrequest.h"
#include "settings/setting.h"
#include "widgets/guithreadwork.h"
#include "widgets/prompt.h"

// The program's start-up, in this order. Requests to the service (the start
// request, and the test target asked for when default settings are made) run
// off the GUI thread, so the splash keeps animating.
bool CTolvaneDlg::Initialize(CSplashDialog* splash)
{
    CSetting& setting = GetSetting();
    setting.SetTestTargetSource([] {
        DefaultTestTarget target;
        RequestTestTarget(target.url, target.expected);
        return target;
    });
    // The timeout scales the Speed scores: the table follows every change,
    // queued because the settings may change off the GUI thread.
    setting.SetChangedCallback(
        [this] { QMetaObject::invokeMethod(this, &CTolvaneDlg::RefillProxyTable, Qt::QueuedConnection); });
    RunOffGuiThread([&setting] {
        if (setting.SettingFileExists()) {
            setting.Load();
            // The service may test with another page since the settings were made.
            DefaultTestTarget service;
            if (RequestTestTarget(service.url, service.expected))
                setting.FollowServiceTestTarget(service);
        } else {
            setting.CreateDefaults();
            setting.Save();
        }
    });

    if (!desktop_.network.Query().connected) {
        desktop_.prompt.Show(this, QStringLiteral("Could not find network connection in your system."), IPrompt::Ok);
        RequestExit();
        return false;
    }

    LoadFlagImages();

    std::string answer;
    RunOffGuiThread([&answer] { answer = SendStartRequest(); });
    if (splash)
        splash->close();
    CStartAnswerUi startUi(*this);
    EvaluateStartAnswer(answer, startUi);
    if (exitRequested_)
        return false;

    ipHiding_.ShowStartupAddress();

    CPromptQuestion question(desktop_.prompt, this);
    ReconcileFirefoxAtStart(GetSetting().GetSwitchItem()->firefox, question);

    tray_->Show();
    return true;
}
