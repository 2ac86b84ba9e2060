#include "app/tolvanedlg.h"

#include "app/desktop.h"
#include "app/splashdialog.h"
#include "app/startanswerui.h"
#include "app/trayicon.h"
#include "browser/firefox.h"
#include "browser/networkstate.h"
#include "data/countrycatalogue.h"
#include "service/startrequest.h"
#include "settings/onoffsetting.h"
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
    // The table follows every change of the settings (the test section's
    // timeout scales the Speed scores), queued because the settings may
    // change off the GUI thread.
    setting.SetChangedCallback([this](const SettingChange&) {
        QMetaObject::invokeMethod(this, &CTolvaneDlg::RefillProxyTable, Qt::QueuedConnection);
    });
    RunOffGuiThread([&setting] {
        const bool existed = setting.SettingFileExists();
        if (existed) {
            setting.Load();
            // The service may test with another page since the settings were made.
            DefaultTestTarget service;
            if (RequestTestTarget(service.url, service.expected))
                setting.FollowServiceTestTarget(service);
        } else {
            setting.CreateDefaults();
            setting.Save();
        }
        GetWebRtcSetting().Load(!existed);
        GetRotationSetting().Load(false);
    });

    if (!desktop_.network.Query().connected) {
        // Over the splash while it shows; the window itself is not placed yet.
        QWidget* over = splash && splash->isVisible() ? static_cast<QWidget*>(splash) : this;
        desktop_.prompt.Show(over, QStringLiteral("Could not find network connection in your system."), IPrompt::Ok);
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
    ReconcileFirefoxAtStart(GetSetting().GetSwitchItem().firefox, question);

    tray_->Show();
    return true;
}
