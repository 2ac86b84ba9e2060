#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <cstring>

#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "settings/ui/digitspinbox.h"
#include "settings/ui/settingdialog.h"
#include "settinguitest.h"
#include "support/servicefixture.h"

namespace {

// The switch page looks for a Firefox profile under HOME; an empty HOME keeps
// these tests away from the user's own profile.
class EmptyHome : public ::testing::Environment {
public:
    void SetUp() override { setenv("HOME", home_.Path().c_str(), 1); }

private:
    TempDir home_;
};
const ::testing::Environment* const emptyHome = ::testing::AddGlobalTestEnvironment(new EmptyHome);

class SettingDialogTest : public SettingUiTest {
protected:
    void SetUp() override
    {
        SettingUiTest::SetUp();
        Reopen();
    }
    void TearDown() override
    {
        dialog_.reset();
        SettingUiTest::TearDown();
    }

    // Opens a new dialog, whose pages load the settings as they are now.
    void Reopen()
    {
        dialog_ = std::make_unique<CSettingDialog>(prompt_);
        dialog_->show();
    }
    template <typename T>
    T* Find(const char* objectName) const
    {
        return Child<T>(*dialog_, objectName);
    }
    QTabWidget* Tabs() const { return Find<QTabWidget>("settingTabs"); }
    CDigitSpinBox* Threads() const { return Find<CDigitSpinBox>("threadField"); }
    CDigitSpinBox* Timeout() const { return Find<CDigitSpinBox>("timeoutField"); }
    QLineEdit* Url() const { return Find<QLineEdit>("urlField"); }
    QLineEdit* Expected() const { return Find<QLineEdit>("expectedField"); }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    bool HasFocus(QWidget* field) const
    {
        QWidget* focus = dialog_->focusWidget();
        return focus && (focus == field || field->isAncestorOf(focus));
    }

    std::unique_ptr<CSettingDialog> dialog_;
};

TEST_F(SettingDialogTest, ThreadNumberOutOfRangeKeepsTheDialogOpenOnTheTestTab)
{
    Tabs()->setCurrentIndex(1);  // the defaults are valid, so the tab changes
    ASSERT_EQ(Tabs()->currentIndex(), 1);
    ASSERT_TRUE(prompt_.Texts().isEmpty());

    Threads()->SetText(QStringLiteral("4"));
    Click("okButton");

    EXPECT_EQ(prompt_.Texts(), QStringList{QStringLiteral("The test thread number must be bewteen 5 to 30.")});
    EXPECT_EQ(prompt_.Prompts().front().buttons, IPrompt::Ok);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(Tabs()->currentIndex(), 0);
    EXPECT_TRUE(HasFocus(Threads()));
    EXPECT_EQ(GetSetting().GetTestItem().threadCount, 10);
    EXPECT_FALSE(SettingFileWritten());

    Threads()->SetText(QStringLiteral("30"));
    Click("okButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(GetSetting().GetTestItem().threadCount, 30);
    EXPECT_TRUE(SettingFileHasLine("Test Thread Count\t30"));
}

TEST_F(SettingDialogTest, TimeoutOutOfRangeBlocksTheTabChange)
{
    QWidget* testPage = Find<QWidget>("testSettingPage");
    QWidget* switchPage = Find<QWidget>("switchSettingPage");
    Timeout()->SetText(QStringLiteral("31"));
    // Behind the message the test page is the one in front.
    bool testPageBehindMessage = false;
    prompt_.onShow = [&] { testPageBehindMessage = testPage->isVisible() && !switchPage->isVisible(); };
    QTest::mouseClick(Tabs()->tabBar(), Qt::LeftButton, {}, Tabs()->tabBar()->tabRect(1).center());

    EXPECT_EQ(prompt_.Texts(), QStringList{QStringLiteral("The timeout seconds must be bewteen 5 to 30.")});
    EXPECT_TRUE(testPageBehindMessage);
    EXPECT_EQ(Tabs()->currentIndex(), 0);
    EXPECT_TRUE(testPage->isVisible());
    EXPECT_FALSE(switchPage->isVisible());
    EXPECT_TRUE(HasFocus(Timeout()));

    prompt_.Clear();
    Timeout()->SetText(QStringLiteral("5"));
    Tabs()->setCurrentIndex(1);
    EXPECT_TRUE(prompt_.Texts().isEmpty());
    EXPECT_TRUE(switchPage->isVisible());
    EXPECT_FALSE(testPage->isVisible());
}

TEST_F(SettingDialogTest, ValidationReportsOnlyTheFirstFailureInFieldOrder)
{
    Threads()->SetText(QString());
    Timeout()->SetText(QStringLiteral("99999999999"));  // does not even fit an int
    Url()->setText(QString(251, u'u'));
    Expected()->setText(QString(241, u'e'));

    const auto okMessage = [this]() {
        prompt_.Clear();
        Click("okButton");
        EXPECT_TRUE(dialog_->isVisible());
        return prompt_.Texts();
    };
    EXPECT_EQ(okMessage(), QStringList{QStringLiteral("The test thread number must be bewteen 5 to 30.")});
    Threads()->SetText(QStringLiteral("5"));
    EXPECT_EQ(okMessage(), QStringList{QStringLiteral("The timeout seconds must be bewteen 5 to 30.")});
    Timeout()->SetText(QStringLiteral("30"));
    EXPECT_EQ(okMessage(), QStringList{QStringLiteral("The URL is too long")});
    EXPECT_TRUE(HasFocus(Url()));
    Url()->setText(QString(250, u'u'));
    EXPECT_EQ(okMessage(), QStringList{QStringLiteral("The Expected Return String is too long")});
    EXPECT_TRUE(HasFocus(Expected()));
    EXPECT_FALSE(SettingFileWritten());

    Expected()->setText(QString(240, u'e'));
    prompt_.Clear();
    Click("okButton");
    EXPECT_TRUE(prompt_.Texts().isEmpty());
    EXPECT_FALSE(dialog_->isVisible());
    const CSettingTestItem& test = GetSetting().GetTestItem();
    EXPECT_EQ(std::string(test.testUrl), std::string(250, 'u'));
    EXPECT_EQ(std::string(test.correctValue), std::string(240, 'e'));
    EXPECT_EQ(test.threadCount, 5);
    EXPECT_EQ(test.timeoutSeconds, 30);
}

// The settings file holds lines of at most 254 characters: a longer text
// would be dropped on saving and cost the sections after it on the next load.
TEST_F(SettingDialogTest, LongestAcceptedTextsSurviveTheSettingsFile)
{
    GetSetting().SetFlag(SettingKey::ReplaceByGet, false);
    const QString url = QStringLiteral("http://127.0.0.1/") + QString(233, u'u');  // 250 characters
    const QString expected(240, u'e');
    Url()->setText(url);
    Expected()->setText(expected);
    Click("okButton");
    ASSERT_TRUE(prompt_.Texts().isEmpty());
    ASSERT_FALSE(dialog_->isVisible());

    GetSetting().ResetForTest();
    GetSetting().Load();
    EXPECT_EQ(QString::fromLatin1(GetSetting().GetTestItem().testUrl), url);
    EXPECT_EQ(QString::fromLatin1(GetSetting().GetTestItem().correctValue), expected);
    EXPECT_FALSE(GetSetting().GetMiscItem().replaceByGet);
}

TEST_F(SettingDialogTest, NumberFieldsTakeDigitsOnlyAndTheArrowsStayInRange)
{
    CDigitSpinBox* threads = Threads();
    threads->SetText(QString());
    QTest::keyClicks(threads, QStringLiteral("4a-1 "));
    EXPECT_EQ(threads->text(), QStringLiteral("41"));  // typed past the range, left for validation

    threads->stepBy(1);
    EXPECT_EQ(threads->text(), QStringLiteral("30"));
    threads->stepBy(5);
    EXPECT_EQ(threads->text(), QStringLiteral("30"));
    threads->SetText(QStringLiteral("3"));
    threads->stepBy(-1);
    EXPECT_EQ(threads->text(), QStringLiteral("5"));
    threads->SetText(QString());
    threads->stepBy(1);
    EXPECT_EQ(threads->text(), QStringLiteral("5"));
}

TEST_F(SettingDialogTest, EmptyTestUrlResetsTheTestSectionFromTheService)
{
    ServiceFixture service({"--test-target", "http://127.0.0.1:1/target.txt|found it|"});
    ASSERT_TRUE(service.Running());
    service.UseAsService();
    Find<QRadioButton>("noTestRadio")->click();
    Threads()->SetText(QStringLiteral("12"));
    Url()->clear();
    Click("okButton");

    // The whole section takes its defaults; the expected text, still filled
    // in but untouched, goes with the old page and gives way to the service's.
    const CSettingTestItem& test = GetSetting().GetTestItem();
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(test.testType, TestType::Speed);
    EXPECT_EQ(test.threadCount, 10);
    EXPECT_EQ(test.testUrl, "http://127.0.0.1:1/target.txt");
    EXPECT_EQ(test.correctValue, "found it");
    EXPECT_TRUE(SettingFileHasLine("URL\thttp://127.0.0.1:1/target.txt"));
    EXPECT_TRUE(SettingFileHasLine("Test Thread Count\t10"));

    // The pair came whole from the service, so the page says the service's target is in use.
    Reopen();
    EXPECT_TRUE(Find<QLabel>("targetOrigin")->text().contains(QStringLiteral("the service's test page")));

    // Both texts empty: both come from the service, through a single request.
    Url()->clear();
    Expected()->clear();
    const std::string logBefore = service.Log();
    Click("okButton");
    EXPECT_EQ(test.testUrl, "http://127.0.0.1:1/target.txt");
    EXPECT_EQ(test.correctValue, "found it");
    const std::string requests = service.Log().substr(logBefore.size());
    size_t count = 0;
    for (size_t at = requests.find("testurl.txt"); at != std::string::npos; at = requests.find("testurl.txt", at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << requests;
    Reopen();
    EXPECT_TRUE(Find<QLabel>("targetOrigin")->text().contains(QStringLiteral("the service's test page")));
}

TEST_F(SettingDialogTest, APastedTextLosesItsControlCharactersBeforeItIsSaved)
{
    GetSetting().SetFlag(SettingKey::ReplaceByGet, false);
    Url()->setText(QStringLiteral("http://127.0.0.1:1/page\n"));  // copied from a terminal
    Expected()->setText(QStringLiteral("Hello\tWorld"));
    Click("okButton");
    EXPECT_EQ(prompt_.Texts(), QStringList{QStringLiteral("Tabs, line breaks and other control characters were "
                                                          "removed from the URL. Please check it.")});
    EXPECT_TRUE(HasFocus(Url()));
    EXPECT_EQ(Url()->text(), QStringLiteral("http://127.0.0.1:1/page"));
    prompt_.Clear();
    Click("okButton");
    EXPECT_EQ(prompt_.Texts().size(), 1);
    EXPECT_EQ(Expected()->text(), QStringLiteral("HelloWorld"));
    EXPECT_FALSE(SettingFileWritten());
    Click("okButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_TRUE(SettingFileHasLine("URL\thttp://127.0.0.1:1/page"));
    EXPECT_TRUE(SettingFileHasLine("Correct Value\tHelloWorld"));
    EXPECT_TRUE(SettingFileHasLine("ReplacebyGet\t0"));
}

TEST_F(SettingDialogTest, ATypedUrlWithItsTextClearedAsksForTheText)
{
    Url()->setText(QStringLiteral("http://127.0.0.1:1/mine"));
    Expected()->clear();
    Click("okButton");
    EXPECT_EQ(prompt_.Texts(), QStringList{QStringLiteral("Please enter the Expected Return String for the new URL.")});
    EXPECT_TRUE(HasFocus(Expected()));
    EXPECT_FALSE(SettingFileWritten());
    Expected()->setText(QStringLiteral("mine"));
    Click("okButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(GetSetting().GetTestItem().testUrl, "http://127.0.0.1:1/mine");
    EXPECT_EQ(GetSetting().GetTestItem().correctValue, "mine");
}

TEST_F(SettingDialogTest, ResetToDefaultsAnsweredNoThenYes)
{
    CSetting& setting = GetSetting();
    setting.SetFlag(SettingKey::Elite, false);
    setting.SetFlag(SettingKey::AllCountries, false);
    const CSettingTestItem& test = setting.GetTestItem();
    setting.SetNumber(SettingKey::TestType, static_cast<int>(TestType::None));
    setting.SetNumber(SettingKey::TestThreadCount, 7);
    setting.SetText(SettingKey::TestUrl, "http://127.0.0.1:1/page.html");
    setting.SetNumber(SettingKey::SwitchRatio, 50);
    setting.SetNumber(SettingKey::SwitchInterval, 9);
    setting.SetFlag(SettingKey::ReplaceByGet, false);
    Reopen();
    ASSERT_EQ(Threads()->text(), QStringLiteral("7"));

    const QString question =
        QStringLiteral("When you reset, any changes you've made will be reverted to the default settings.Do you "
                       "want to reset to defaults?");
    prompt_.Queue(IPrompt::AnsNo);
    Click("resetButton");
    EXPECT_EQ(prompt_.Texts(), QStringList{question});
    EXPECT_EQ(prompt_.Prompts().front().buttons, IPrompt::YesNo);
    EXPECT_FALSE(setting.GetAnonymousItem().elite);
    EXPECT_EQ(test.threadCount, 7);
    EXPECT_EQ(Threads()->text(), QStringLiteral("7"));
    EXPECT_FALSE(SettingFileWritten());

    prompt_.Queue(IPrompt::AnsYes);
    Click("resetButton");
    EXPECT_TRUE(setting.GetAnonymousItem().elite);
    EXPECT_TRUE(setting.GetCountryItem().allCountries);
    EXPECT_EQ(test.testType, TestType::Speed);
    EXPECT_EQ(test.threadCount, 10);
    EXPECT_EQ(test.testUrl, FallbackTestUrl());  // the service is unreachable
    EXPECT_EQ(setting.GetSwitchItem().ratio, 30);
    EXPECT_EQ(setting.GetSwitchItem().interval, 2);
    EXPECT_FALSE(setting.GetMiscItem().replaceByGet);
    EXPECT_TRUE(SettingFileHasLine("Elite\t1"));
    EXPECT_TRUE(SettingFileHasLine("Test Thread Count\t10"));
    EXPECT_TRUE(SettingFileHasLine("Ratio\t30"));
    EXPECT_TRUE(SettingFileHasLine("ReplacebyGet\t0"));
    // Both pages show the defaults, and the dialog stays open.
    EXPECT_EQ(Threads()->text(), QStringLiteral("10"));
    EXPECT_EQ(Url()->text(), QString::fromLatin1(FallbackTestUrl()));
    EXPECT_TRUE(Find<QRadioButton>("speedRadio")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("firefoxCheck")->isChecked());
    EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(SettingDialogTest, AvailabilityTypeFromTheFileIsKeptButNotOffered)
{
    GetSetting().SetNumber(SettingKey::TestType, static_cast<int>(TestType::Availability));
    Reopen();
    auto* availability = Find<QRadioButton>("availabilityRadio");
    EXPECT_TRUE(availability->isChecked());
    EXPECT_FALSE(availability->isVisibleTo(dialog_.get()));
    EXPECT_FALSE(Find<QRadioButton>("noTestRadio")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("speedRadio")->isChecked());

    Click("okButton");
    EXPECT_EQ(GetSetting().GetTestItem().testType, TestType::Availability);
    EXPECT_TRUE(SettingFileHasLine("Test Type\t1"));

    Reopen();
    Find<QRadioButton>("noTestRadio")->click();
    Click("okButton");
    EXPECT_EQ(GetSetting().GetTestItem().testType, TestType::None);
}

TEST_F(SettingDialogTest, EnterAndEscapeInsideAPageDoNotCloseTheDialog)
{
    QTest::keyClick(Url(), Qt::Key_Return);
    QTest::keyClick(Threads(), Qt::Key_Enter);
    QTest::keyClick(Url(), Qt::Key_Escape);
    Tabs()->setCurrentIndex(1);
    QTest::keyClick(Find<QWidget>("switchSettingPage"), Qt::Key_Escape);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_FALSE(SettingFileWritten());

    // Outside the pages Escape still cancels.
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(SettingDialogTest, ModalRunEndsOnOkAndTheOpenFlagSpansTheObject)
{
    dialog_.reset();
    EXPECT_FALSE(SettingDialogOpen());
    {
        CSettingDialog dialog(prompt_);
        EXPECT_TRUE(SettingDialogOpen());
        QTimer::singleShot(0, &dialog, [&dialog]() { Child<QPushButton>(dialog, "okButton")->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_TRUE(SettingDialogOpen());
    }
    EXPECT_FALSE(SettingDialogOpen());
    EXPECT_TRUE(SettingFileWritten());
}

TEST_F(SettingDialogTest, ControlsAreNamedAndTheBrowserBoxesFollowTheProfile)
{
    auto* system = Find<QCheckBox>("systemCheck");
    EXPECT_TRUE(system->isChecked());
    EXPECT_FALSE(system->isEnabled());
    // No readable prefs.js under the empty HOME.
    EXPECT_FALSE(Find<QCheckBox>("firefoxCheck")->isEnabled());
    // The tooltip says why prefs.js could not be read.
    const QString toolTip = Find<QCheckBox>("firefoxCheck")->toolTip();
    EXPECT_TRUE(toolTip.startsWith(
        QStringLiteral("If checkbox is disabled, the root cause is that Firefox's prefs.js could not be read: no ")))
        << toolTip.toStdString();
    EXPECT_TRUE(
        toolTip.endsWith(QStringLiteral(" was found.Find solution in FAQ at ") + QString::fromStdString(HomePageUrl())))
        << toolTip.toStdString();

    // Every control a user can reach carries a name and its caption.
    for (QWidget* widget : dialog_->findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QAbstractSpinBox*>(widget)
            || qobject_cast<QGroupBox*>(widget)
            || (qobject_cast<QLineEdit*>(widget) && !qobject_cast<QAbstractSpinBox*>(widget->parentWidget()));
        if (!control || qobject_cast<QTabBar*>(widget->parentWidget()))
            continue;
        EXPECT_FALSE(widget->objectName().isEmpty()) << widget->metaObject()->className();
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
}

}  // namespace
