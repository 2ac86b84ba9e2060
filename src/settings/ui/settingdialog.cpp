#include "settings/ui/settingdialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/setting.h"
#include "settings/ui/digitspinbox.h"
#include "settings/ui/switchsettingdialog.h"
#include "settings/ui/testsettingdialog.h"
#include "widgets/guithreadwork.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

namespace {

// Number of CSettingDialog objects alive; one at a time in practice.
int openDialogs = 0;

QPushButton* NamedButton(QDialogButtonBox* box, QDialogButtonBox::StandardButton which, const QString& objectName,
                         const QString& caption)
{
    QPushButton* button = box->button(which);
    button->setText(caption);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    return button;
}

// Takes tabs, line breaks and the other control characters out of a text
// field (a URL pasted from a terminal brings its line feed along); true when
// there were any.
bool StripControls(QLineEdit* field)
{
    QString text = field->text();
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    if (text == field->text())
        return false;
    field->setText(text);
    return true;
}

}  // namespace

bool SettingDialogOpen()
{
    return openDialogs > 0;
}

CSettingDialog::CSettingDialog(IPrompt& prompt, QWidget* parent, bool firefoxFollowsDesktop)
    : QDialog(parent), prompt_(prompt), tabs_(new QTabWidget), testPage_(new CTestSettingDialog),
      switchPage_(new CSwitchSettingDialog(prompt, firefoxFollowsDesktop))
{
    ++openDialogs;
    if (!GetSetting().IsLoaded())
        GetSetting().Load();

    setObjectName(QStringLiteral("settingDialog"));
    setWindowTitle(QStringLiteral("Setting"));
    setAccessibleName(windowTitle());
    // Modal to its parent only, so the tray menu stays usable while it is open.
    setWindowModality(Qt::WindowModal);

    tabs_->setObjectName(QStringLiteral("settingTabs"));
    tabs_->setAccessibleName(windowTitle());
    tabs_->addTab(testPage_, QStringLiteral("Test Proxy Setting"));
    tabs_->addTab(switchPage_, QStringLiteral("Switch Proxy Setting"));

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults);
    buttons->setObjectName(QStringLiteral("settingButtons"));
    QPushButton* ok = NamedButton(buttons, QDialogButtonBox::Ok, QStringLiteral("okButton"), QStringLiteral("OK"));
    QPushButton* cancel =
        NamedButton(buttons, QDialogButtonBox::Cancel, QStringLiteral("cancelButton"), QStringLiteral("Cancel"));
    QPushButton* reset = NamedButton(buttons, QDialogButtonBox::RestoreDefaults, QStringLiteral("resetButton"),
                                     QStringLiteral("Reset to Defaults"));
    connect(ok, &QPushButton::clicked, this, &CSettingDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, &CSettingDialog::OnResetToDefaults);
    connect(tabs_, &QTabWidget::currentChanged, this, &CSettingDialog::OnTabChanged);
    testPage_->SetSectionReset([this] { RunServiceRequest([] { GetSetting().ResetTestSection(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);

    LoadPages();
}

CSettingDialog::~CSettingDialog()
{
    --openDialogs;
}

bool CSettingDialog::Validate()
{
    // A number in its key's range, or the message that names the range.
    const auto outOfRange = [](CDigitSpinBox* field, SettingKey key, const char* format) {
        const SettingKeyInfo& info = SettingInfo(key);
        int number = 0;
        return field->Value(number) && number >= info.low && number <= info.high
                   ? QString()
                   : QString::asprintf(format, info.low, info.high);
    };
    const auto tooLong = [](QLineEdit* field, SettingKey key) { return field->text().size() > SettingInfo(key).high; };
    QString message = outOfRange(testPage_->ThreadField(), SettingKey::TestThreadCount,
                                 "The test thread number must be bewteen %d to %d.");
    if (!message.isEmpty())
        return ReportInvalid(message, testPage_->ThreadField());
    message = outOfRange(testPage_->TimeoutField(), SettingKey::TestTimeoutSeconds,
                         "The timeout seconds must be bewteen %d to %d.");
    if (!message.isEmpty())
        return ReportInvalid(message, testPage_->TimeoutField());
    message = outOfRange(switchPage_->IntervalField(), SettingKey::SwitchInterval,
                         "The minutes between two proxy changes must be between %d and %d.");
    if (!message.isEmpty())
        return ReportInvalid(message, switchPage_->IntervalField());
    message = outOfRange(switchPage_->RatioField(), SettingKey::SwitchRatio,
                         "The share of the list to change among must be between %d%% and %d%%.");
    if (!message.isEmpty())
        return ReportInvalid(message, switchPage_->RatioField());
    QLineEdit* url = testPage_->UrlField();
    QLineEdit* expected = testPage_->ExpectedField();
    if (StripControls(url))
        return ReportInvalid(QStringLiteral("Tabs, line breaks and other control characters were removed from "
                                            "the URL. Please check it."),
                             url);
    if (tooLong(url, SettingKey::TestUrl))
        return ReportInvalid(QStringLiteral("The URL is too long"), url);
    if (StripControls(expected))
        return ReportInvalid(QStringLiteral("Tabs, line breaks and other control characters were removed from "
                                            "the Expected Return String. Please check it."),
                             expected);
    if (tooLong(expected, SettingKey::CorrectValue))
        return ReportInvalid(QStringLiteral("The Expected Return String is too long"), expected);
    // The test page and its text only work as a pair: one typed anew with the
    // other cleared asks for the other rather than mixing it with the
    // service's default.
    const CSettingTestItem& saved = GetSetting().GetTestItem();
    if (expected->text().isEmpty() && !url->text().isEmpty() && FromUi(url->text()) != saved.testUrl)
        return ReportInvalid(QStringLiteral("Please enter the Expected Return String for the new URL."), expected);
    if (url->text().isEmpty() && !expected->text().isEmpty() && FromUi(expected->text()) != saved.correctValue)
        return ReportInvalid(QStringLiteral("Please enter the URL for the new Expected Return String."), url);
    return true;
}

bool CSettingDialog::ReportInvalid(const QString& message, QWidget* field)
{
    prompt_.Show(this, message, IPrompt::Ok);
    {
        // Going back to the page that holds the field is no tab change to validate.
        const QSignalBlocker noTabChange(tabs_);
        tabs_->setCurrentWidget(switchPage_->isAncestorOf(field) ? static_cast<QWidget*>(switchPage_)
                                                                 : static_cast<QWidget*>(testPage_));
    }
    shownTab_ = tabs_->currentIndex();
    field->setFocus(Qt::OtherFocusReason);
    return false;
}

void CSettingDialog::OnTabChanged(int index)
{
    // The tab bar has already switched pages. Put the old page back before
    // anything is painted, and switch only once the fields are valid, so a
    // failed check never shows the new page.
    {
        const QSignalBlocker noTabChange(tabs_);
        tabs_->setCurrentIndex(shownTab_);
    }
    if (!Validate())
        return;
    {
        const QSignalBlocker noTabChange(tabs_);
        tabs_->setCurrentIndex(index);
    }
    shownTab_ = index;
}

void CSettingDialog::OnOk()
{
    if (!Validate())
        return;
    testPage_->SaveToSetting();
    switchPage_->SaveToSetting();
    // A file that cannot be written leaves the new values in memory only.
    GetSetting().Save();
    accept();
}

void CSettingDialog::OnResetToDefaults()
{
    const IPrompt::Answer answer =
        prompt_.Show(this,
                     QStringLiteral("When you reset, any changes you've made will be reverted to the default "
                                    "settings.Do you want to reset to defaults?"),
                     IPrompt::YesNo);
    if (answer != IPrompt::AnsYes)
        return;
    RunServiceRequest([] {
        GetSetting().ResetToDefaults();
        GetSetting().Save();
    });
    LoadPages();
}

void CSettingDialog::RunServiceRequest(const std::function<void()>& request)
{
    CBusyScope busy(this);
    RunOffGuiThread(request);
}

void CSettingDialog::LoadPages()
{
    testPage_->LoadFromSetting();
    switchPage_->LoadFromSetting();
}
