#include "settings/ui/switchsettingdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "browser/firefox.h"
#include "service/serviceendpoints.h"
#include "settings/onoffsetting.h"
#include "settings/setting.h"
#include "settings/ui/digitspinbox.h"
#include "settings/ui/webrtcchoice.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

namespace {

// The check box's tooltip; why says why prefs.js could not be read, when it could not.
QString FirefoxToolTip(const std::string& why)
{
    QString cause =
        QStringLiteral("If checkbox is disabled, the root cause is that Firefox's prefs.js could not be read");
    if (!why.empty())
        cause += QStringLiteral(": ") + QString::fromStdString(why);
    return cause + QStringLiteral(".Find solution in FAQ at ") + ToUi(HomePageUrl());
}

constexpr const char* kFirefoxNotFollowingToolTip =
    "If checkbox is disabled, the root cause is that Firefox does not follow the desktop's proxy on this desktop: "
    "on KDE Plasma it reads GNOME's proxy settings, which are not installed here, and otherwise only the "
    "environment. Enter the proxy in Firefox's connection settings by hand instead.";

}  // namespace

CSwitchSettingDialog::CSwitchSettingDialog(IPrompt& prompt, bool firefoxFollowsDesktop, QWidget* parent)
    : CSettingPage(parent), prompt_(prompt), firefoxFollowsDesktop_(firefoxFollowsDesktop),
      systemCheck_(Named(new QCheckBox(QStringLiteral("IE(Chrome)")), QStringLiteral("systemCheck"),
                         QStringLiteral("IE(Chrome)"))),
      firefoxCheck_(Named(new QCheckBox(QStringLiteral("FireFox(>3.6)")), QStringLiteral("firefoxCheck"),
                          QStringLiteral("FireFox(>3.6)"), FirefoxToolTip({}))),
      webrtcCheck_(Named(new QCheckBox(QStringLiteral("Keep WebRTC behind the proxy")), QStringLiteral("webrtcCheck"),
                         QStringLiteral("Keep WebRTC behind the proxy"),
                         QStringLiteral("Sets WebRTC in Chromium and Google Chrome to send nothing around the "
                                        "proxy, so web pages cannot learn your real address through it. Without a "
                                        "proxy their WebRTC then sends no UDP either (calls need a TCP relay)."))),
      rotationCheck_(
          Named(new QCheckBox(QStringLiteral("Change proxy every")), QStringLiteral("rotationCheck"),
                QStringLiteral("Change proxy every [Interval] minutes among the fastest [Ratio]% of the list"),
                QStringLiteral("While your IP is hidden, the proxy in use changes every few minutes to "
                               "the next of the fastest proxies in the table."))),
      intervalField_(Named(
          new CDigitSpinBox(SettingInfo(SettingKey::SwitchInterval).low, SettingInfo(SettingKey::SwitchInterval).high),
          QStringLiteral("intervalField"), QStringLiteral("Interval"),
          QStringLiteral("Minutes between two changes of the proxy"))),
      ratioField_(
          Named(new CDigitSpinBox(SettingInfo(SettingKey::SwitchRatio).low, SettingInfo(SettingKey::SwitchRatio).high),
                QStringLiteral("ratioField"), QStringLiteral("Ratio"),
                QStringLiteral("The share of the list, from the fastest proxy down, to change among")))
{
    Named(this, QStringLiteral("switchSettingPage"), QStringLiteral("Switch Proxy Setting"));

    // The system proxy settings are always used; the box only says so.
    systemCheck_->setChecked(true);
    systemCheck_->setEnabled(false);

    const QString groupCaption = QStringLiteral("Browser");
    auto* group = Named(new QGroupBox(groupCaption), QStringLiteral("browserGroup"), groupCaption);
    auto* boxes = new QVBoxLayout(group);
    boxes->addWidget(systemCheck_);
    boxes->addWidget(firefoxCheck_);
    boxes->addWidget(webrtcCheck_);

    const QString rotationCaption = QStringLiteral("Proxy rotation");
    auto* rotation = Named(new QGroupBox(rotationCaption), QStringLiteral("rotationGroup"), rotationCaption);
    auto* row = new QHBoxLayout(rotation);
    row->addWidget(rotationCheck_);
    row->addWidget(intervalField_);
    row->addWidget(new QLabel(QStringLiteral("minutes among the fastest")));
    row->addWidget(ratioField_);
    row->addWidget(new QLabel(QStringLiteral("% of the list")));
    row->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(rotation);
    layout->addStretch();
}

void CSwitchSettingDialog::LoadFromSetting()
{
    systemCheck_->setChecked(true);
    bool follows = false;
    std::string why;
    // Without a readable prefs.js the choice could not be carried out; the
    // tooltip then says what stood in the way.
    // Where Firefox does not read the desktop's store, following it would
    // leave Firefox outside the proxy while the box claims the opposite.
    const bool followable = firefoxFollowsDesktop_;
    const bool changeable = followable && PrefsFollowSystem(GetFirefoxPaths(), follows, &why);
    firefoxCheck_->setEnabled(changeable);
    firefoxCheck_->setToolTip(followable ? FirefoxToolTip(why) : QString::fromLatin1(kFirefoxNotFollowingToolTip));
    // A box that cannot be carried out never claims that Firefox follows.
    firefoxCheck_->setChecked(changeable && GetSetting().GetSwitchItem().firefox);
    webrtcCheck_->setChecked(GetWebRtcSetting().on);
    rotationCheck_->setChecked(GetRotationSetting().on);
    intervalField_->SetText(QString::number(GetSetting().GetSwitchItem().interval));
    ratioField_->SetText(QString::number(GetSetting().GetSwitchItem().ratio));
}

void CSwitchSettingDialog::SaveToSetting()
{
    SaveWebRtcChoice();
    COnOffSetting& rotation = GetRotationSetting();
    if (rotationCheck_->isChecked() != rotation.on) {
        rotation.on = rotationCheck_->isChecked();
        rotation.Save();
    }
    // The dialog has checked both numbers against their ranges.
    int number = 0;
    if (intervalField_->Value(number))
        GetSetting().SetNumber(SettingKey::SwitchInterval, number);
    if (ratioField_->Value(number))
        GetSetting().SetNumber(SettingKey::SwitchRatio, number);
    const bool follow = firefoxCheck_->isChecked();
    // A disabled box cannot have been changed by the user; leave the setting alone.
    if (!firefoxCheck_->isEnabled() || follow == GetSetting().GetSwitchItem().firefox)
        return;
    GetSetting().SetFlag(SettingKey::Firefox, follow);
    CPromptQuestion question(prompt_, this);
    ChangeFirefoxPrefs(GetFirefoxPaths(), follow, question, kFirefoxCloseQuestion);
}

void CSwitchSettingDialog::SaveWebRtcChoice()
{
    COnOffSetting& webrtc = GetWebRtcSetting();
    const bool keep = webrtcCheck_->isChecked();
    if (keep == webrtc.on)
        return;
    // Turned off, the choice stays on until every browser has its value from before again.
    if (!ApplyWebRtcChoice(keep, prompt_, this)) {
        webrtcCheck_->setChecked(true);
        return;
    }
    webrtc.on = keep;
    webrtc.Save();
}
