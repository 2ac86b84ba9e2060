// The pushed-message dialog: buttons per type, colours, line breaks, its size and place, closing.
#include <gtest/gtest.h>

#include <algorithm>

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "service/serviceendpoints.h"
#include "service/ui/pushmessage.h"
#include "support/ui/recordingurlopener.h"
#include "support/ui/testapplication.h"

namespace {
const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new TestApplicationEnvironment);

PushMessage Message(int type, const std::string& body, const char* caption = nullptr)
{
    PushMessage message;
    message.type = type;
    message.body = body;
    message.hasCaption = caption != nullptr;
    message.caption = caption ? caption : "";
    return message;
}

QPushButton* Button(CPushMessage& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(QLatin1String(name));
}

int RedPixels(QWidget& widget)
{
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    return count;
}

// Width of what is painted in the text band of a one-line body.
int TextInkWidth(QWidget& widget)
{
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = image.pixel(2, 2);
    int left = image.width(), right = -1;
    for (int y = 25; y < 60; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return right - left;
}

}  // namespace

// Where the website buttons' pages go.
CRecordingUrlOpener opener;

TEST(PushMessageDialog, ButtonsFollowTheType)
{
    struct Case {
        int type;
        const char* caption;
        QString closeText;
        bool website;
        QString websiteText;
    };
    const Case cases[] = {
        {1, "ignored", QStringLiteral("OK"), false, QString()},
        {2, "Download", QStringLiteral("OK"), true, QStringLiteral("Download")},
        {2, nullptr, QStringLiteral("OK"), true, QStringLiteral("Official Website")},
        {3, nullptr, QStringLiteral("Exit"), false, QString()},
        {4, "", QStringLiteral("Exit"), true, QStringLiteral("Official Website")},
        {7, nullptr, QStringLiteral("OK"), false, QString()},
    };
    for (const Case& c : cases) {
        CPushMessage dialog(Message(c.type, "text", c.caption), opener);
        dialog.show();
        SCOPED_TRACE(c.type);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Message"));
        ASSERT_NE(Button(dialog, "closeButton"), nullptr);
        EXPECT_EQ(Button(dialog, "closeButton")->text(), c.closeText);
        ASSERT_NE(Button(dialog, "websiteButton"), nullptr);
        EXPECT_EQ(Button(dialog, "websiteButton")->isVisible(), c.website);
        if (c.website) {
            EXPECT_EQ(Button(dialog, "websiteButton")->text(), c.websiteText);
        }
    }
}

TEST(PushMessageDialog, TextIsRedOnlyForMessagesThatEndTheProgram)
{
    CPushMessage alarm(Message(3, "The service has closed."), opener);
    alarm.show();
    EXPECT_GT(RedPixels(alarm), 20);
    CPushMessage plain(Message(1, "The service has closed."), opener);
    plain.show();
    EXPECT_EQ(RedPixels(plain), 0);
}

TEST(PushMessageDialog, LongBodyIsSplitAtFiftyCharactersOnEveryPaint)
{
    const std::string body = std::string(50, 'a') + std::string(10, 'b');
    CPushMessage dialog(Message(1, body), opener);
    dialog.show();
    const QImage first = dialog.grab().toImage();
    const QImage second = dialog.grab().toImage();
    EXPECT_EQ(first, second);
    const auto lines = dialog.BodyLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].text, QString(50, QLatin1Char('a')));
    EXPECT_EQ(lines[0].topLeft, QPoint(45, 15));
    EXPECT_EQ(lines[1].text, QString(10, QLatin1Char('b')));
    EXPECT_EQ(lines[1].topLeft, QPoint(45, 45));

    CPushMessage shortOne(Message(1, std::string(50, 'c')), opener);
    ASSERT_EQ(shortOne.BodyLines().size(), 1);
    EXPECT_EQ(shortOne.BodyLines()[0].topLeft, QPoint(45, 30));
}

TEST(PushMessageDialog, LinesBreakAtSpacesNearFiftyCharacters)
{
    const QString body = QStringLiteral("The service is down for maintenance and will be back for an hour. "
                                        "Supercalifragilisticexpialidociouslylongwordwithoutanyspaceinit ends.");
    const QStringList lines = CPushMessage::BreakLines(body);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("The service is down for maintenance and will be "));
    EXPECT_EQ(lines[1], QStringLiteral("back for an hour. "));
    // A word longer than a line is cut after 50 characters.
    EXPECT_EQ(lines[2].size(), 50);
    EXPECT_EQ(lines.join(QString()), body);
}

// The rightmost painted pixel above the buttons.
int InkRight(QWidget& widget, int bottom)
{
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = image.pixel(2, 2);
    int right = -1;
    for (int y = 0; y < bottom; ++y)
        for (int x = right + 1; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                right = x;
    return right;
}

TEST(PushMessageDialog, LongMessageAndCaptionFitTheDialog)
{
    std::string body;
    while (body.size() < 240)
        body += "Wide words WWWWW MMMMM in a long pushed message. ";
    const char* caption = "Download the new version from the official website now";
    CPushMessage dialog(Message(4, body, caption), opener);
    dialog.show();
    QPushButton* website = Button(dialog, "websiteButton");
    QPushButton* close = Button(dialog, "closeButton");
    const auto lines = dialog.BodyLines();
    ASSERT_GE(lines.size(), 5);
    EXPECT_LT(lines.last().topLeft.y() + dialog.fontMetrics().height(), close->y());
    EXPECT_LT(InkRight(dialog, close->y()), dialog.width() - 20);
    EXPECT_EQ(website->text(), QString::fromLatin1(caption));
    EXPECT_GE(website->width(), website->sizeHint().width());
    EXPECT_LT(website->geometry().right(), close->x());
    EXPECT_LE(close->geometry().right(), dialog.width());
    // Without a shown parent (at start-up), centred on the screen.
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((dialog.geometry().center() - screenCentre).manhattanLength(), 2);
}

TEST(PushMessageDialog, MarkupIsDrawnAsItsOwnCharacters)
{
    // As rich text this body would paint a single "x"; as plain text every
    // tag character is painted, about as wide as the same text without markup.
    CPushMessage markup(Message(1, "<b></b><i></i><u></u><s></s>x"), opener);
    CPushMessage literal(Message(1, "[b][/b][i][/i][u][/u][s][/s]x"), opener);
    markup.show();
    literal.show();
    EXPECT_GT(TextInkWidth(markup), TextInkWidth(literal) * 3 / 4);
}

TEST(PushMessageDialog, WebsiteButtonOpensTheHomePageAndStays)
{
    CPushMessage dialog(Message(2, "text", "More"), opener);
    dialog.show();
    QTest::mouseClick(Button(dialog, "websiteButton"), Qt::LeftButton);
    EXPECT_EQ(opener.opened, QStringList{QString::fromStdString(HomePageUrl())});
    EXPECT_TRUE(dialog.isVisible());
}

TEST(PushMessageDialog, ClosingAnExitMessageRequestsTheExitEveryWay)
{
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        CPushMessage dialog(Message(3, "closed"), opener);
        int callbacks = 0;
        dialog.SetExitCallback([&callbacks] { ++callbacks; });
        QSignalSpy exits(&dialog, &CPushMessage::exitRequested);
        dialog.show();
        if (way == 0)
            QTest::mouseClick(Button(dialog, "closeButton"), Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();  // the window's close box
        EXPECT_EQ(exits.count(), 1);
        EXPECT_EQ(callbacks, 1);
        EXPECT_FALSE(dialog.isVisible());
    }

    CPushMessage info(Message(2, "hello"), opener);
    QSignalSpy exits(&info, &CPushMessage::exitRequested);
    info.show();
    QTest::keyClick(&info, Qt::Key_Escape);
    EXPECT_EQ(exits.count(), 0);
    EXPECT_FALSE(info.isVisible());
}
