#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <thread>

#include "settings/setting.h"
#include "support/socksfixture.h"
#include "support/tempdir.h"
#include "support/ui/testapplication.h"
#include "support/ui/scriptedprompt.h"
#include "testing/testflags.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"
#include "testing/ui/progressdialog.h"

namespace {

const QString kFinished = QStringLiteral("The proxy test is finished!");
const QString kCanceled = QStringLiteral("The proxy test is canceled by you!");

const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TestApplicationEnvironment);

struct ProgressDialogTest : ::testing::Test {
    void TearDown() override
    {
        testCanceled() = false;
        GetTestSpeedWorker().running = false;
    }
    CScriptedPrompt prompt;
};

QProgressBar* Bar(QDialog& dialog) { return dialog.findChild<QProgressBar*>(QStringLiteral("progressBar")); }
QPushButton* CancelButton(QDialog& dialog) { return dialog.findChild<QPushButton*>(QStringLiteral("cancelButton")); }
QString Status(QDialog& dialog) { return dialog.findChild<QLabel*>(QStringLiteral("statusText"))->text(); }

TEST_F(ProgressDialogTest, FollowsPostedProgressAndClosesWhenTheRunCompletes)
{
    CProgressDialog dialog(false, 7, prompt);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Testing"));
    EXPECT_EQ(Status(dialog), QStringLiteral("Testing proxies' availability..."));
    EXPECT_EQ(progressWindow().load(), &dialog);

    // Posted from another thread, the way job threads do.
    std::thread([] {
        progressWindow().load()->PostMessage(kMsgTestProgress, 0, 5);
        progressWindow().load()->PostMessage(kMsgTestProgress, 2, 0);  // ignored
    }).join();
    QApplication::processEvents();
    EXPECT_EQ(Bar(dialog)->value(), 71);
    dialog.PostMessage(kMsgTestProgress, 0, 2);
    dialog.PostMessage(kMsgTestProgress, 0, 3);  // never beyond the total
    dialog.PostMessage(kMsgTestProgress, 1, 0);

    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Done(), 7);
    EXPECT_EQ(Bar(dialog)->value(), 100);
    EXPECT_EQ(dialog.CurrentState(), CProgressDialog::Finished);
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished});
    EXPECT_EQ(progressWindow().load(), nullptr);
}

TEST_F(ProgressDialogTest, CancelButtonCancelsAndTheDialogWaitsForTheRunToEnd)
{
    CProgressDialog dialog(true, 4, prompt);
    EXPECT_EQ(Status(dialog), QStringLiteral("Testing proxies' speed..."));
    GetTestSpeedWorker().running = true;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(CancelButton(dialog), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(Status(dialog), QStringLiteral("Canceling..."));
        EXPECT_FALSE(CancelButton(dialog)->isEnabled());
        EXPECT_TRUE(testCanceled());
        EXPECT_FALSE(GetTestSpeedWorker().running);
        dialog.PostMessage(kMsgTestProgress, 0, 1);  // the bar stands still now
        dialog.PostMessage(kMsgTestProgress, 1, 0);
    });
    dialog.exec();
    EXPECT_EQ(Bar(dialog)->value(), 0);
    EXPECT_EQ(prompt.Texts(), QStringList{kCanceled});
    EXPECT_FALSE(testCanceled());
}

TEST_F(ProgressDialogTest, EscapeAndTheCloseBoxCancelInsteadOfClosing)
{
    for (bool useEscape : {true, false}) {
        prompt.Clear();
        CProgressDialog dialog(false, 2, prompt);
        QTimer::singleShot(0, &dialog, [&] {
            if (useEscape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.CurrentState(), CProgressDialog::Canceled);
            EXPECT_EQ(Status(dialog), QStringLiteral("Canceling..."));
            dialog.PostMessage(kMsgTestProgress, 1, 0);
        });
        dialog.exec();
        EXPECT_EQ(prompt.Texts(), QStringList{kCanceled}) << (useEscape ? "Escape" : "close box");
    }
}

TEST_F(ProgressDialogTest, NothingToTestClosesAtOnce)
{
    CProgressDialog dialog(true, 0, prompt);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(prompt.Texts().isEmpty());
}

// A real run over the process-wide list, through loopback fixture proxies.
struct ProgressRunTest : ProgressDialogTest {
    void SetUp() override
    {
        page = fixture.AddPage();
        dir.WriteFile("setting.nbx", "Test:\r\nTest Type\t2\r\nTest Thread Count\t5\r\nTest Timeout Second\t5\r\n"
                                     "Correct Value\tengine\r\nURL\t" + SocksFixture::PageUrl(page) + "\r\n");
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
    EXPECT_TRUE(RunTestWithProgress(nullptr, true, prompt));
    ASSERT_EQ(GetProxyList().size(), 1u);
    EXPECT_EQ(GetProxyList().front().port, good);
    EXPECT_EQ(GetProxyList().front().uptime, 5);
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished});
}

TEST_F(ProgressRunTest, RunThatEndedBeforeTheDialogWasShownStillClosesIt)
{
    CProgressDialog dialog(false, static_cast<int>(GetProxyList().size()), prompt);
    ASSERT_TRUE(RunAvailabilityTest());  // over before exec() shows the dialog
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(prompt.Texts(), QStringList{kFinished});
    EXPECT_EQ(dialog.Done(), 2);
}

}  // namespace
