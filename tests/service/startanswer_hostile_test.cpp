// Start answers no real service sends, served byte for byte by the stand-in:
// markers out of order or repeated, fields that run too long, NUL bytes and
// plain garbage. The evaluation must never show more than one message, never
// keep a text the dialog cannot hold and never store a bad address.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/countrycatalogue.h"
#include "service/startrequest.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"

namespace {
constexpr size_t kMaxMessageText = 255;

class RecordingUi : public IStartAnswerUi {
public:
    void ShowUnreachable() override { ++unreachable; }
    void ShowPushMessage(const PushMessage& message) override { messages.push_back(message); }
    void RequestExit() override { ++exits; }

    int unreachable = 0;
    int exits = 0;
    std::vector<PushMessage> messages;
};

// One stand-in service whose start answer is a file rewritten before each request.
class HostileStartAnswer : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFile("countries.nbx", "US\tUnited States\r\nDE\tGermany\r\nFR\tFrance\r\n");
        ResetCountryCatalogueForTest();
        ASSERT_TRUE(service.Running());
        service.UseAsService();
    }
    void TearDown() override { ResetCountryCatalogueForTest(); }

    // Serves answer and evaluates what the start request brings back;
    // realAddress and realCountry start from stale values each time.
    RecordingUi Evaluate(const std::string& answer)
    {
        dir.WriteFile("start.txt", answer);
        std::strcpy(realAddress, "203.0.113.99");
        realCountry = 0;
        RecordingUi ui;
        EvaluateStartAnswer(SendStartRequest(), ui);
        return ui;
    }

    TempDir dir;
    ScopedChdir chdir{dir.Path()};
    ServiceFixture service{{"--start-answer", dir.File("start.txt")}};
};

bool IsAddressText(const char* text)
{
    return std::strlen(text) <= 15 && std::strspn(text, "0123456789.") == std::strlen(text);
}
}  // namespace

TEST_F(HostileStartAnswer, MarkersOutOfOrderOrRepeatedTakeTheFirstCompletePair)
{
    RecordingUi ui = Evaluate("MsgEnd\r\nMsgType:3\r\nMsgStart never closed");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.exits, 0);  // a type 3 without a message ends nothing

    ui = Evaluate("MsgEnd stray MsgStart real text MsgEnd tail");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].body, " real text ");

    ui = Evaluate("MsgType:2MsgType:4 MsgCapStartfirstMsgCapEnd MsgCapStartsecondMsgCapEnd "
                  "MsgStartoneMsgEnd MsgStarttwoMsgEnd");
    ASSERT_EQ(ui.messages.size(), 1u);  // one dialog, whatever repeats
    EXPECT_EQ(ui.messages[0].body, "one");
    EXPECT_EQ(ui.messages[0].type, 2);
    EXPECT_EQ(ui.messages[0].caption, "first");

    ui = Evaluate("MsgCapEnd MsgStartxMsgEnd MsgCapStart");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "");  // the caption markers never close

    ui = Evaluate("MsgStartMsgEndMsgType:");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].body, "");
    EXPECT_EQ(ui.messages[0].type, 1);  // the type digit lies past the end
}

TEST_F(HostileStartAnswer, OverlongAddressNeverOverrunsAndNeverStaysStale)
{
    Evaluate("IPAddress:" + std::string(5000, '9') + "\r\n");
    EXPECT_TRUE(IsAddressText(realAddress)) << realAddress;
    EXPECT_STRNE(realAddress, "203.0.113.99");  // the answer named an address; the old one is gone

    Evaluate("IPAddress:1234567890123456");  // sixteen characters, one too many
    EXPECT_TRUE(IsAddressText(realAddress)) << realAddress;
    EXPECT_STRNE(realAddress, "1234567890123456");

    Evaluate("IPAddress:255.255.255.255X");  // exactly fifteen: kept whole
    EXPECT_STREQ(realAddress, "255.255.255.255");

    Evaluate("CountryCode:");  // nothing after the marker
    EXPECT_EQ(realCountry, -1);
}

TEST_F(HostileStartAnswer, NulBytesEndTheAnswer)
{
    static const char cut[] = "CountryCode:FR MsgStart hi\0 MsgEnd IPAddress:10.0.0.1";
    RecordingUi ui = Evaluate(std::string(cut, sizeof cut - 1));
    EXPECT_TRUE(ui.messages.empty());  // MsgEnd lies behind the NUL
    EXPECT_EQ(realCountry, 2);
    EXPECT_STREQ(realAddress, "203.0.113.99");  // no address marker before the NUL

    static const char leading[] = "\0MsgStartxMsgEnd";
    ui = Evaluate(std::string(leading, sizeof leading - 1));
    EXPECT_EQ(ui.unreachable, 1);  // nothing before the NUL: the service counts as unreachable
    EXPECT_EQ(ui.exits, 1);
}

TEST_F(HostileStartAnswer, GeneratedTenThousandCharacterMessageIsDroppedToEmpty)
{
    ServiceFixture generator(
        {"--message", std::string(10000, 'M'), "--message-type", "2", "--message-caption", std::string(10000, 'C')});
    ASSERT_TRUE(generator.Running());
    generator.UseAsService();
    RecordingUi ui;
    realAddress[0] = '\0';
    EvaluateStartAnswer(SendStartRequest(), ui);
    ASSERT_EQ(ui.messages.size(), 1u);  // still shown
    EXPECT_EQ(ui.messages[0].body, "");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[0].type, 2);
    EXPECT_STREQ(realAddress, "127.0.0.1");  // the fields after the message still count
}

TEST_F(HostileStartAnswer, MarkerSoupKeepsEveryInvariant)
{
    // Answers stitched from marker fragments, digits and random bytes, with a
    // fixed seed so a failure repeats.
    const char* const pieces[] = {
        "MsgStart", "MsgEnd", "MsgType:", "MsgCapStart", "MsgCapEnd", "CountryCode:", "IPAddress:", "DE",
        "us",       "1",      "4",        "9",           ".",         "255.",         "\r\n",       "<b>",
        "%s%n",     "Msg",    "Start",    "End"};
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        std::string answer;
        const int parts = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < parts; ++i) {
            if (random() % 4 == 0)
                answer.append(random() % 2 ? 300 : 1 + random() % 20, static_cast<char>(1 + random() % 255));
            else
                answer += pieces[random() % (sizeof pieces / sizeof *pieces)];
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const RecordingUi ui = Evaluate(answer);
        ASSERT_LE(ui.messages.size(), 1u);
        EXPECT_EQ(ui.exits, 0);
        EXPECT_EQ(ui.unreachable, 0);
        EXPECT_TRUE(IsAddressText(realAddress)) << realAddress;
        EXPECT_GE(realCountry, -1);
        EXPECT_LT(realCountry, GetCountryCatalogue().Count());
        for (const PushMessage& message : ui.messages) {
            EXPECT_GE(message.type, 1);
            EXPECT_LE(message.type, 4);
            EXPECT_LE(message.body.size(), kMaxMessageText);
            EXPECT_LE(message.caption.size(), kMaxMessageText);
            EXPECT_EQ(message.body.find("MsgEnd"), std::string::npos);
            EXPECT_EQ(message.caption.find("MsgCapEnd"), std::string::npos);
        }
    }
}
