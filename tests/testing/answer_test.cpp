#include <gtest/gtest.h>

#include <cstring>

#include "data/proxy.h"
#include "service/responsebuffer.h"
#include "testing/answercheck.h"
#include "testing/speedtally.h"

namespace {

TEST(SpeedTally, MeanOfThePassingFetchesCutToWholeMilliseconds)
{
    CSpeedTally tally;
    tally.AddSuccess(300.0);
    tally.AddSuccess(501.0);
    ASSERT_TRUE(tally.Passed());
    CProxy proxy("127.0.0.1", 1080, -1, 1, 0, kUnmeasuredSpeed);
    tally.WriteTo(proxy);
    EXPECT_EQ(proxy.uptime, 2);
    EXPECT_EQ(proxy.speed, 400);
    EXPECT_EQ(proxy.country, -1);

    CSpeedTally five;
    for (double ms : {10.9, 10.9, 10.9, 10.9, 10.9})
        five.AddSuccess(ms);
    five.WriteTo(proxy);
    EXPECT_EQ(proxy.uptime, 5);
    EXPECT_EQ(proxy.speed, 10);
}

TEST(SpeedTally, OneRejectedAnswerOrNoSuccessFails)
{
    CSpeedTally rejected;
    for (int i = 0; i < 4; ++i)
        rejected.AddSuccess(100);
    rejected.AddRejected();
    EXPECT_FALSE(rejected.Passed());
    EXPECT_FALSE(CSpeedTally().Passed());
}

TEST(AnswerCheck, ExpectedTextIgnoresLetterCase)
{
    EXPECT_TRUE(ContainsNoCase("A Search ENGINE page", "engine"));
    EXPECT_TRUE(ContainsNoCase("engine", "EnGiNe"));
    EXPECT_FALSE(ContainsNoCase("engin", "engine"));
    EXPECT_TRUE(ContainsNoCase("anything", ""));
}

TEST(AnswerCheck, RejectWordsAnywhereInAnyCase)
{
    EXPECT_TRUE(ContainsRejectWord("ACCESS DENIED"));
    EXPECT_TRUE(ContainsRejectWord("<footer>Powered by Proxy</footer>"));
    EXPECT_TRUE(ContainsRejectWord("are you a Human?"));
    EXPECT_TRUE(ContainsRejectWord("Internal Server Error"));
    EXPECT_FALSE(ContainsRejectWord("a search engine"));
}

TEST(AnswerCheck, BodyWithANulByteIsNotText)
{
    ResponseBuffer empty;
    EXPECT_FALSE(IsTextBody(empty));

    char bytes[] = "abc\0engine";
    ResponseBuffer body;
    ASSERT_EQ(AppendToBuffer(bytes, 1, sizeof bytes - 1, &body), sizeof bytes - 1);
    EXPECT_FALSE(IsTextBody(body));

    ResponseBuffer text;
    AppendToBuffer(bytes + 4, 1, 6, &text);
    EXPECT_TRUE(IsTextBody(text));
}

}  // namespace
