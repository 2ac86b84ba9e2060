// The message-box prompt's captions, answers and place, the test hooks, the
// image buttons, and the Latin-1 conversions at the widget boundary.
#include "support/ui/scriptedprompt.h"
#include "support/ui/testapplication.h"
#include "support/ui/uiwait.h"
#include "widgets/imagebutton.h"
#include "widgets/messageboxprompt.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class MessageBoxPromptTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    // Shows a prompt, presses the given button (or Escape) and reports the
    // box's caption and the answer.
    IPrompt::Answer ShowAndPress(IPrompt::Buttons buttons, QMessageBox::StandardButton press, QString& caption,
                                 const QString& title = {})
    {
        WhenWindowShows(QStringLiteral("promptBox"), [&](QWidget* widget) {
            auto* box = static_cast<QMessageBox*>(widget);
            caption = box->windowTitle();
            if (press == QMessageBox::NoButton)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(press)->click();
        });
        return prompt.Show(nullptr, QStringLiteral("Question?"), buttons, title);
    }

    CMessageBoxPrompt prompt;
};

TEST_F(MessageBoxPromptTest, CaptionIsTheAppNameUnlessATitleIsGiven)
{
    QString caption;
    EXPECT_EQ(ShowAndPress(IPrompt::Ok, QMessageBox::Ok, caption), IPrompt::AnsOk);
    EXPECT_EQ(caption, QStringLiteral("Velmora"));
    EXPECT_EQ(ShowAndPress(IPrompt::YesNoCancel, QMessageBox::No, caption, QStringLiteral("Tolvane")), IPrompt::AnsNo);
    EXPECT_EQ(caption, QStringLiteral("Tolvane"));
}

TEST_F(MessageBoxPromptTest, ButtonsMapToAnswers)
{
    QString caption;
    EXPECT_EQ(ShowAndPress(IPrompt::OkCancel, QMessageBox::Cancel, caption), IPrompt::AnsCancel);
    EXPECT_EQ(ShowAndPress(IPrompt::OkCancel, QMessageBox::Ok, caption), IPrompt::AnsOk);
    EXPECT_EQ(ShowAndPress(IPrompt::YesNo, QMessageBox::Yes, caption), IPrompt::AnsYes);
    EXPECT_EQ(ShowAndPress(IPrompt::YesNoCancel, QMessageBox::Cancel, caption), IPrompt::AnsCancel);
    // Escape is Cancel where there is one, No for a Yes/No question.
    EXPECT_EQ(ShowAndPress(IPrompt::YesNoCancel, QMessageBox::NoButton, caption), IPrompt::AnsCancel);
    EXPECT_EQ(ShowAndPress(IPrompt::YesNo, QMessageBox::NoButton, caption), IPrompt::AnsNo);
}

TEST_F(MessageBoxPromptTest, BoxIsCentredOnItsShownParentElseOnTheScreen)
{
    const auto centreOfBox = [this](QWidget* parent) {
        QPoint centre;
        WhenWindowShows(QStringLiteral("promptBox"), [&centre](QWidget* box) {
            centre = box->geometry().center();
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        prompt.Show(parent, QStringLiteral("Could not find network connection in your system."), IPrompt::Ok);
        return centre;
    };
    QWidget notShownYet;  // the main window during start-up
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centreOfBox(&notShownYet) - screenCentre).manhattanLength(), 2);
    EXPECT_LE((centreOfBox(nullptr) - screenCentre).manhattanLength(), 2);
    QWidget shown;  // the splash, say
    shown.setGeometry(100, 100, 400, 300);
    shown.show();
    EXPECT_LE((centreOfBox(&shown) - shown.geometry().center()).manhattanLength(), 2);
}

TEST(PromptQuestionTest, AsksThroughThePromptAndTakesOnlyYesForYes)
{
    CScriptedPrompt scripted;
    CPromptQuestion question(scripted, nullptr);
    scripted.Queue(IPrompt::AnsYes);
    scripted.Queue(IPrompt::AnsNo);
    EXPECT_TRUE(question.AskYesNo("Close Firefox?"));
    EXPECT_FALSE(question.AskYesNo("Close Firefox?"));
    ASSERT_EQ(scripted.Prompts().size(), 2u);
    EXPECT_EQ(scripted.Prompts().front().text, QStringLiteral("Close Firefox?"));
    EXPECT_EQ(scripted.Prompts().front().buttons, IPrompt::YesNo);
}

TEST(UiTextTest, Latin1RoundTrip)
{
    const std::string bytes("caf\xE9 \xFF\x01", 7);
    const QString text = ToUi(bytes);
    EXPECT_EQ(text.size(), 7);
    EXPECT_EQ(text.at(3), QChar(0xE9));
    EXPECT_EQ(FromUi(text), bytes);
    EXPECT_EQ(ToUi(std::string("a\0b", 3)).size(), 3);
    // Beyond Latin-1 there is no single byte: it becomes '?'.
    EXPECT_EQ(FromUi(QStringLiteral("x\u20ACy")), "x?y");
}

TEST(ImageButtonTest, AccessibleNameFollowsTheCaption)
{
    EnsureTestApplication();
    QWidget parent;
    QToolButton* button = MakeImageButton(&parent, QStringLiteral("hideIpButton"), QStringLiteral("Hide IP"), QIcon(),
                                          QStringLiteral("Hide your real IP"));
    EXPECT_EQ(button->objectName(), QStringLiteral("hideIpButton"));
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Hide IP"));
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    SetImageButtonFace(button, QStringLiteral("Restore IP"), QIcon(), QStringLiteral("Restore your real IP"));
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Restore IP"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("Restore your real IP"));
}

}  // namespace
