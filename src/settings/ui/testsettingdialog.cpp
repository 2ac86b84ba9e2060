#include "settings/ui/testsettingdialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/setting.h"
#include "settings/ui/digitspinbox.h"
#include "widgets/uitext.h"

namespace {

CDigitSpinBox* NumberField(SettingKey key)
{
    return new CDigitSpinBox(SettingInfo(key).low, SettingInfo(key).high);
}

}  // namespace

CTestSettingDialog::CTestSettingDialog(QWidget* parent)
    : CSettingPage(parent), noTestRadio_(Named(new QRadioButton(QStringLiteral("No Test(Not Recommend)")),
                                               QStringLiteral("noTestRadio"), QStringLiteral("No Test(Not Recommend)"),
                                               QStringLiteral("Not recommend,maybe some proxies are not available"))),
      availabilityRadio_(Named(new QRadioButton(QStringLiteral("Test Availbility")),
                               QStringLiteral("availabilityRadio"), QStringLiteral("Test Availbility"))),
      speedRadio_(Named(new QRadioButton(QStringLiteral("Test Speed")), QStringLiteral("speedRadio"),
                        QStringLiteral("Test Speed"), QStringLiteral("Full test for proxy's availability and speed"))),
      threadField_(NumberField(SettingKey::TestThreadCount)),
      timeoutField_(NumberField(SettingKey::TestTimeoutSeconds)), urlField_(new QLineEdit),
      expectedField_(new QLineEdit), targetOrigin_(new QLabel)
{
    Named(this, QStringLiteral("testSettingPage"), QStringLiteral("Test Proxy Setting"));

    // The availability test stays selectable only through the settings file.
    availabilityRadio_->setVisible(false);
    const QString groupCaption = QStringLiteral("Test type after getting proxy");
    auto* group = Named(new QGroupBox(groupCaption), QStringLiteral("testTypeGroup"), groupCaption);
    auto* radios = new QVBoxLayout(group);
    radios->addWidget(noTestRadio_);
    radios->addWidget(availabilityRadio_);
    radios->addWidget(speedRadio_);

    urlField_->setMinimumWidth(260);  // room for a typical address
    auto* form = new QFormLayout;
    const auto addRow = [form](QWidget* field, const QString& objectName, const QString& caption,
                               const QString& toolTip) {
        auto* label = Named(new QLabel(caption), objectName + QStringLiteral("Label"), caption);
        label->setBuddy(Named(field, objectName, caption, toolTip));
        form->addRow(label, field);
    };
    addRow(threadField_, QStringLiteral("threadField"), QStringLiteral("Thread Number:"),
           QStringLiteral("How many threads will be created for testing proxies"));
    addRow(timeoutField_, QStringLiteral("timeoutField"), QStringLiteral("Timeout(second):"),
           QStringLiteral("The timeout seconds for testing one proxy"));
    addRow(urlField_, QStringLiteral("urlField"), QStringLiteral("Test URL:"),
           QStringLiteral("The website URL for testing proxies"));
    addRow(expectedField_, QStringLiteral("expectedField"), QStringLiteral("Expected Return:"),
           QStringLiteral("The expected return string from above website.Please refer to FAQ in "
                          "official website about more info."));

    targetOrigin_->setObjectName(QStringLiteral("targetOrigin"));
    targetOrigin_->setWordWrap(true);
    form->addRow(targetOrigin_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(form);
    layout->addStretch();
}

void CTestSettingDialog::LoadFromSetting()
{
    const CSettingTestItem& test = GetSetting().GetTestItem();
    // The radios are exclusive, so checking one unchecks the others; an
    // unknown type leaves them as they are.
    switch (test.testType) {
    case TestType::None: noTestRadio_->setChecked(true); break;
    case TestType::Availability: availabilityRadio_->setChecked(true); break;
    case TestType::Speed: speedRadio_->setChecked(true); break;
    }
    threadField_->SetText(QString::number(test.threadCount));
    timeoutField_->SetText(QString::number(test.timeoutSeconds));
    urlField_->setText(ToUi(test.testUrl));
    expectedField_->setText(ToUi(test.correctValue));
    const QString origin =
        GetSetting().TestTargetFollowsService()
            ? QStringLiteral("In use: the service's test page, followed when the service changes it.")
            : QStringLiteral("In use: your own test page. Empty both fields to take the "
                             "service's again.");
    targetOrigin_->setText(origin);
    targetOrigin_->setAccessibleName(origin);
}

void CTestSettingDialog::SaveToSetting()
{
    CSetting& setting = GetSetting();
    const TestType type = noTestRadio_->isChecked()         ? TestType::None
                          : availabilityRadio_->isChecked() ? TestType::Availability
                                                            : TestType::Speed;
    setting.SetNumber(SettingKey::TestType, static_cast<int>(type));

    // A number outside its range is refused and the saved one stays.
    int number = 0;
    if (threadField_->Value(number))
        setting.SetNumber(SettingKey::TestThreadCount, number);
    if (timeoutField_->Value(number))
        setting.SetNumber(SettingKey::TestTimeoutSeconds, number);

    // An empty text asks for the whole section's defaults, which include a
    // fresh test target from the service; one request serves both fields,
    // and the pair stays the service's (the settings dialog has asked for
    // the partner of a text typed anew).
    const std::string url = FromUi(urlField_->text());
    const std::string expected = FromUi(expectedField_->text());
    if (url.empty() || expected.empty()) {
        if (sectionReset_)
            sectionReset_();
        else
            setting.ResetTestSection();
        return;
    }
    setting.SetText(SettingKey::TestUrl, url);
    setting.SetText(SettingKey::CorrectValue, expected);
}
