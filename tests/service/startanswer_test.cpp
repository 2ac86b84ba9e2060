// The start request against the stand-in service and the evaluation of its
// answer: pushed messages, the reported country and address.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "data/countrycatalogue.h"
#include "service/startrequest.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"

namespace {
class RecordingUi : public IStartAnswerUi {
public:
    void ShowUnreachable() override { calls.push_back("unreachable"); }
    void ShowPushMessage(const PushMessage& message) override
    {
        calls.push_back("message");
        shown = message;
    }
    void RequestExit() override { calls.push_back("exit"); }

    std::vector<std::string> calls;
    PushMessage shown;
};

class StartAnswer : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFile("countries.nbx", "US\tUnited States\r\nDE\tGermany\r\nFR\tFrance\r\n");
        ResetCountryCatalogueForTest();
        realAddress[0] = '\0';
        realCountry = -1;
    }
    void TearDown() override { ResetCountryCatalogueForTest(); }

    // Serves answer verbatim from a stand-in service and evaluates what the
    // start request brings back.
    RecordingUi EvaluateServed(const std::string& answer)
    {
        ServiceFixture service({"--start-answer", dir.WriteFile("start.txt", answer)});
        service.UseAsService();
        RecordingUi ui;
        EvaluateStartAnswer(SendStartRequest(), ui);
        return ui;
    }

    TempDir dir;
    ScopedChdir chdir{dir.Path()};
};
}  // namespace

TEST_F(StartAnswer, StoresCountryAndAddressEndedByTheLineEnd)
{
    const RecordingUi ui = EvaluateServed("Welcome\r\nCountryCode:DE\r\nIPAddress:198.51.100.7\r\nmore text");
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(realCountry, 1);
    EXPECT_STREQ(realAddress, "198.51.100.7");
}

TEST_F(StartAnswer, GeneratedAnswerReportsTheCallerAndPushesTheMessage)
{
    ServiceFixture service(
        {"--country", "FR", "--message", "Please update", "--message-type", "4", "--message-caption", "Download"});
    service.UseAsService();
    RecordingUi ui;
    EvaluateStartAnswer(SendStartRequest(), ui);
    EXPECT_EQ(ui.calls, std::vector<std::string>{"message"});
    EXPECT_EQ(ui.shown.type, 4);
    EXPECT_EQ(ui.shown.body, "Please update");
    EXPECT_TRUE(ui.shown.hasCaption);
    EXPECT_EQ(ui.shown.caption, "Download");
    EXPECT_EQ(realCountry, 2);
    EXPECT_STREQ(realAddress, "127.0.0.1");
    EXPECT_TRUE(service.LogShows("POST /velmora/start.php -> 200"));
}

TEST_F(StartAnswer, MessageTypeThreeWithoutCaptionMarkers)
{
    const RecordingUi ui = EvaluateServed("MsgType:3 MsgStartService closedMsgEnd");
    ASSERT_EQ(ui.calls, std::vector<std::string>{"message"});
    EXPECT_EQ(ui.shown.type, 3);
    EXPECT_EQ(ui.shown.body, "Service closed");
    EXPECT_TRUE(ui.shown.hasCaption);  // the evaluation always passes a caption
    EXPECT_EQ(ui.shown.caption, "");
}

TEST_F(StartAnswer, UnknownOrMissingTypeDigitGivesTypeOne)
{
    for (const char* answer : {"MsgType:7MsgStarthiMsgEnd", "MsgStarthiMsgEnd MsgType:", "MsgType:0MsgStarthiMsgEnd"}) {
        PushMessage message;
        ASSERT_TRUE(ParsePushMessage(answer, message)) << answer;
        EXPECT_EQ(message.type, 1) << answer;
    }
}

TEST_F(StartAnswer, NoMessageWithoutBothBodyMarkersInOrder)
{
    PushMessage message;
    EXPECT_FALSE(ParsePushMessage("MsgStart text that never ends", message));
    EXPECT_FALSE(ParsePushMessage("MsgEnd before MsgStart", message));
    const RecordingUi ui = EvaluateServed("MsgType:3MsgStart text without end");
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(StartAnswer, AnswerWithoutMarkersChangesNothing)
{
    const RecordingUi ui = EvaluateServed("<html>maintenance</html>");
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(realCountry, -1);
    EXPECT_STREQ(realAddress, "");
}

TEST_F(StartAnswer, UnreachableServiceReportsAndRequestsTheExit)
{
    setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);
    RecordingUi ui;
    EvaluateStartAnswer(SendStartRequest(), ui);
    EXPECT_EQ(ui.calls, (std::vector<std::string>{"unreachable", "exit"}));
}

TEST_F(StartAnswer, HostileFieldsAreDroppedNotCut)
{
    const std::string longBody(256, 'x');
    const RecordingUi ui = EvaluateServed("MsgStart" + longBody + "MsgEnd" + "MsgCapStartokMsgCapEnd"
                                          + "CountryCode:de IPAddress:1234567890.1234567890");
    ASSERT_EQ(ui.calls, std::vector<std::string>{"message"});
    EXPECT_EQ(ui.shown.body, "");  // longer than the dialog's 255 characters
    EXPECT_EQ(ui.shown.caption, "ok");
    EXPECT_EQ(realCountry, -1);     // codes compare case-sensitively
    EXPECT_STREQ(realAddress, "");  // no IPv4 address is that long

    PushMessage message;
    ASSERT_TRUE(ParsePushMessage("MsgStart" + std::string(255, 'y') + "MsgEnd", message));
    EXPECT_EQ(message.body.size(), 255u);
}

TEST_F(StartAnswer, CountryCodeAtTheVeryEndIsTooShort)
{
    EvaluateServed("IPAddress:10.0.0.1CountryCode:D");
    EXPECT_EQ(realCountry, -1);
    EXPECT_STREQ(realAddress, "10.0.0.1");
}
