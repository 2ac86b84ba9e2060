#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <thread>

#include "settings/setting.h"
#include "socksfixture.h"
#include "support/tempdir.h"
#include "support/ui/scriptedprompt.h"
#include "support/ui/testapplication.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"
#include "testing/ui/runtestwithprogress.h"

namespace {

const QString kFinished = QStringLiteral("The proxy test is finished!");
const QString kCanceled = QStringLiteral("The proxy test is canceled by you!");

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TestApplicationEnvironment);

struct ProgressDialogTest : ::testing::Test {
    void TearDown() override { GetTestSpeedWorker().ClearCancel(); }
    CScriptedPrompt prompt;
};

QProgressBar* Bar(QDialog& dialog)
{
    return dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
}
QPushButton* CancelButton(QDialog& dialog)
{
    return dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
}
QString Status(QDialog& dialog)
{
    return dialog.findChild<QLabel*>(QStringLiteral("statusText"))->text();
}

TEST_F(ProgressDialogTest, FollowsReportedProgressAndClosesWhenTheRunCompletes)
{
    CProgressDialog dialog(AvailabilityTestRun(), 7, prompt);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Testing"));
    EXPECT_EQ(Status(dialog), QStringLiteral("Testing proxies' availability..."));

    // Reported from another thread, the way the dispatcher does.
    std::thread([&dialog] { dialog.OnProgress(5); }).join();
    QApplication::processEvents();
    EXPECT_EQ(Bar(dialog)->value(), 71);
    dialog.OnProgress(2);
    dialog.OnProgress(3);  // never beyond the total
    dialog.OnComplete();

    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Done(), 7);
    EXPECT_EQ(Bar(dialog)->value(), 100);
    EXPECT_EQ(dialog.CurrentState(), CProgressDialog::Finished);
    // Nothing passed (the list is empty): a warning with the count.
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished + QStringLiteral(" None of the 7 proxies tested passed.")});
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::Ok);
}

TEST_F(ProgressDialogTest, CancelButtonCancelsAndTheDialogWaitsForTheRunToEnd)
{
    CProgressDialog dialog(SpeedTestRun(), 4, prompt);
    EXPECT_EQ(Status(dialog), QStringLiteral("Testing proxies' speed..."));
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(CancelButton(dialog), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(Status(dialog), QStringLiteral("Canceling..."));
        EXPECT_FALSE(CancelButton(dialog)->isEnabled());
        EXPECT_TRUE(GetTestSpeedWorker().Canceled());
        dialog.OnProgress(1);  // the bar stands still now
        dialog.OnComplete();
    });
    dialog.exec();
    EXPECT_EQ(Bar(dialog)->value(), 0);
    EXPECT_EQ(prompt.Texts(), QStringList{kCanceled});
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::Info);
    EXPECT_FALSE(GetTestSpeedWorker().Canceled());  // the next run starts afresh
}

TEST_F(ProgressDialogTest, EscapeAndTheCloseBoxCancelInsteadOfClosing)
{
    for (bool useEscape : {true, false}) {
        prompt.Clear();
        CProgressDialog dialog(AvailabilityTestRun(), 2, prompt);
        QTimer::singleShot(0, &dialog, [&] {
            if (useEscape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.CurrentState(), CProgressDialog::Canceled);
            EXPECT_EQ(Status(dialog), QStringLiteral("Canceling..."));
            dialog.OnComplete();
        });
        dialog.exec();
        EXPECT_EQ(prompt.Texts(), QStringList{kCanceled}) << (useEscape ? "Escape" : "close box");
    }
}

TEST_F(ProgressDialogTest, NothingToTestClosesAtOnce)
{
    CProgressDialog dialog(SpeedTestRun(), 0, prompt);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(prompt.Texts().isEmpty());
}

// A real run over the process-wide list, through loopback fixture proxies.
struct ProgressRunTest : ProgressDialogTest {
    void SetUp() override
    {
        page = fixture.AddPage();
        dir.WriteFile("setting.nbx", "Test:\r\nTest Type\t2\r\nTest Thread Count\t5\r\nTest Timeout Second\t5\r\n"
                                     "Correct Value\tengine\r\nURL\t"
                                         + SocksFixture::PageUrl(page) + "\r\n");
        GetSetting().ResetForTest();
        GetSetting().Load();
        SocksBehaviour reject;
        reject.action = SocksBehaviour::Action::Reject;
        good = fixture.AddSocks({});
        GetProxyList() = {CProxy("127.0.0.1", fixture.AddSocks(reject), -1, 0, 0, kUnmeasuredSpeed),
                          CProxy("127.0.0.1", good, -1, 0, 0, kUnmeasuredSpeed)};
    }
    void TearDown() override
    {
        GetProxyList().clear();
        GetSetting().ResetForTest();
        ProgressDialogTest::TearDown();
    }

    TempDir dir;
    ScopedChdir inDir{dir.Path()};
    SocksFixture fixture;
    int page = 0, good = 0;
};

TEST_F(ProgressRunTest, RunTestWithProgressKeepsThePassedProxies)
{
    EXPECT_TRUE(RunTestWithProgress(nullptr, SpeedTestRun(), prompt));
    ASSERT_EQ(GetProxyList().size(), 1u);
    EXPECT_EQ(GetProxyList().front().port, good);
    EXPECT_EQ(GetProxyList().front().uptime, 5);
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished + QStringLiteral(" 1 of 2 proxies passed.")});
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::Info);
}

TEST_F(ProgressRunTest, WhenNothingPassesTheMessageNamesTheTestPage)
{
    GetProxyList().pop_back();  // only the rejecting proxy is left
    EXPECT_TRUE(RunTestWithProgress(nullptr, SpeedTestRun(), prompt));
    EXPECT_TRUE(GetProxyList().empty());
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished + QStringLiteral(" The 1 proxy tested did not pass (test page ")
                                          + QString::fromStdString(SocksFixture::PageUrl(page))
                                          + QStringLiteral(", expected text \"engine\").")});
    EXPECT_EQ(prompt.Prompts().back().buttons, IPrompt::Ok);
}

TEST_F(ProgressRunTest, RunThatEndedBeforeTheDialogWasShownStillClosesIt)
{
    CProgressDialog dialog(AvailabilityTestRun(), static_cast<int>(GetProxyList().size()), prompt);
    ASSERT_TRUE(RunTest(GetCheckAnonymousWorker(), GetProxyList(), &dialog));  // over before exec() shows the dialog
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished + QStringLiteral(" 1 of 2 proxies passed.")});
    EXPECT_EQ(dialog.Done(), 2);
}

}  // namespace
