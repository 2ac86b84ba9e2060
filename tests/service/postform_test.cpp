// PostForm and AppendToBuffer: limits, aborts and proxy independence of the
// form POST every service request goes through.
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "service/postform.h"
#include "service/responsebuffer.h"
#include "service/socketowner.h"
#include "service/startrequest.h"
#include "support/scopedenv.h"
#include "support/scriptedserver.h"
#include "support/servicefixture.h"

namespace {
std::string LocalUrl(int port)
{
    return "http://127.0.0.1:" + std::to_string(port) + "/x";
}

// Shortens the PostForm timeouts for one test.
class ScopedTuning {
public:
    ScopedTuning(long connectSeconds, long lowSpeedSeconds) : saved(PostFormTuning())
    {
        PostFormTuning().connectTimeoutSeconds = connectSeconds;
        PostFormTuning().lowSpeedTimeSeconds = lowSpeedSeconds;
    }
    ~ScopedTuning() { PostFormTuning() = saved; }

private:
    PostFormOptions saved;
};
}  // namespace

TEST(AppendToBuffer, RefusesBytesPastTheLimitAndKeepsWhatItHas)
{
    ResponseBuffer buffer;
    buffer.limit = 10;
    char bytes[] = "abcdefgh";
    EXPECT_EQ(AppendToBuffer(bytes, 1, 6, &buffer), 6u);
    EXPECT_EQ(AppendToBuffer(bytes, 2, 2, &buffer), 4u);  // exactly at the limit
    EXPECT_FALSE(buffer.overflow);
    EXPECT_EQ(AppendToBuffer(bytes, 1, 1, &buffer), 0u);
    EXPECT_TRUE(buffer.overflow);
    ASSERT_EQ(buffer.size, 10u);
    EXPECT_STREQ(buffer.data, "abcdefabcd");

    ResponseBuffer huge;
    EXPECT_EQ(AppendToBuffer(bytes, SIZE_MAX / 2, 3, &huge), 0u);  // size × count overflows
    EXPECT_TRUE(huge.overflow);
}

TEST(PostForm, SendsTheBodyAsGivenAndStopsTheAnswerAtItsFirstNul)
{
    RawHttpServer server(RawHttpServer::HttpAnswer(std::string("abc\0def", 7)), RawHttpServer::Mode::Answer);
    std::string out = "old";
    EXPECT_TRUE(PostForm(LocalUrl(server.Port()), "Version=1.3.0.0&OperationType=1", out));
    EXPECT_EQ(out, "abc");
    const std::string request = server.LastRequest();
    EXPECT_EQ(request.rfind("POST /x HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("Content-Length: 31\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 31), "Version=1.3.0.0&OperationType=1");
}

TEST(PostForm, FailsWithOutputUnchangedWhenNothingListens)
{
    std::string out = "unchanged";
    EXPECT_FALSE(PostForm("http://127.0.0.1:9/", "", out));
    EXPECT_EQ(out, "unchanged");
}

TEST(PostForm, GivesUpOnAServiceThatAcceptsAndNeverAnswers)
{
    // libcurl averages the speed over a few seconds and the request bytes
    // count too, so the abort comes some seconds after the 1 s limit.
    ScopedTuning tuning(2, 1);
    RawHttpServer server("", RawHttpServer::Mode::Silent);
    std::string out = "unchanged";
    EXPECT_FALSE(PostForm(LocalUrl(server.Port()), "OperationType=4", out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_EQ(server.Connections(), 1);
}

TEST(PostForm, CompletesASlowAnswerThatKeepsMoving)
{
    // 2.4 s of answer at one byte per 200 ms outlasts the 1 s no-data limit
    // many times over, yet never stalls for a whole second.
    ScopedTuning tuning(2, 1);
    RawHttpServer server(RawHttpServer::HttpAnswer("slow answer!"), RawHttpServer::Mode::Trickle, 200);
    std::string out;
    EXPECT_TRUE(PostForm(LocalUrl(server.Port()), "", out));
    EXPECT_EQ(out, "slow answer!");
}

TEST(PostForm, CapsAnAnswerAt64MiBAndFailsTheTransfer)
{
    const size_t limit = ResponseBuffer::kDefaultLimit;
    RawHttpServer server(RawHttpServer::HttpAnswer(std::string(limit + 1024 * 1024, 'x')), RawHttpServer::Mode::Answer);
    std::string out;
    EXPECT_FALSE(PostForm(LocalUrl(server.Port()), "", out));
    EXPECT_LE(out.size(), limit);
    EXPECT_GT(out.size(), 0u);  // what arrived before the cut stays
}

TEST(PostForm, TakesAnAnswerOfExactly64MiB)
{
    const size_t limit = ResponseBuffer::kDefaultLimit;
    RawHttpServer server(RawHttpServer::HttpAnswer(std::string(limit, 'y')), RawHttpServer::Mode::Answer);
    std::string out;
    EXPECT_TRUE(PostForm(LocalUrl(server.Port()), "", out));
    EXPECT_EQ(out.size(), limit);
}

TEST(PostForm, IgnoresProxiesFromTheEnvironment)
{
    RawHttpServer proxy("", RawHttpServer::Mode::Silent);
    RawHttpServer service(RawHttpServer::HttpAnswer("direct"), RawHttpServer::Mode::Answer);
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    ScopedEnv http("http_proxy", proxyUrl), all("all_proxy", proxyUrl), allUpper("ALL_PROXY", proxyUrl),
        noProxy("no_proxy", "");
    ScopedTuning tuning(2, 2);
    std::string out;
    EXPECT_TRUE(PostForm(LocalUrl(service.Port()), "", out));
    EXPECT_EQ(out, "direct");
    EXPECT_EQ(proxy.Connections(), 0);
}

TEST(PostForm, SendsNothingToALoopbackServiceOfAnotherUser)
{
    // As root the listener is opened as nobody (the socket takes the thread's
    // file-system uid), as another user's service would be. Otherwise this
    // user's listener stands in for it by expecting another owner.
    const PostFormOptions saved = PostFormTuning();
    setfsuid(65534);
    const bool asNobody = static_cast<int>(setfsuid(65534)) == 65534;
    auto server = std::make_unique<RawHttpServer>(RawHttpServer::HttpAnswer("foreign"), RawHttpServer::Mode::Answer);
    setfsuid(getuid());
    if (!asNobody)
        PostFormTuning().localServiceOwner = getuid() + 1;
    std::string out = "unchanged";
    EXPECT_FALSE(PostForm(LocalUrl(server->Port()), "OperationType=4", out));
    PostFormTuning() = saved;
    EXPECT_EQ(out, "unchanged");
    EXPECT_EQ(server->LastRequest(), "");
}

TEST(ServerSocketOwner, TakesTheAcceptedSocketElseAgreeingListeners)
{
    const std::string head = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
                             "timeout inode\n";
    // 127.0.0.1:8808 listened on by uid 1000, one connection from port 40000
    // accepted by uid 65534's socket, and a wildcard listener of uid 1000 on 9000.
    const std::string tcp = head
                            + "   0: 0100007F:2268 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 1\n"
                            + "   1: 0100007F:2268 0100007F:9C40 01 00000000:00000000 00:00000000 00000000 65534 0 2\n"
                            + "   2: 00000000:2328 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 3\n";
    // A dual-stack listener of uid 1001 on [::]:9000 too.
    const std::string tcp6 = head
                             + "   0: 00000000000000000000000000000000:2328 00000000000000000000000000000000:0000 0A "
                               "00000000:00000000 00:00000000 00000000  1001 0 4\n"
                               "   1: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A "
                               "00000000:00000000 00:00000000 00000000  1002 0 5\n";
    EXPECT_EQ(ServerSocketOwner({"127.0.0.1", 8808, "127.0.0.1", 40000}, tcp, tcp6), 65534u);
    EXPECT_EQ(ServerSocketOwner({"127.0.0.1", 8808, "127.0.0.1", 40001}, tcp, tcp6), 1000u);
    EXPECT_EQ(ServerSocketOwner({"127.0.0.1", 9000, "127.0.0.1", 40001}, tcp, tcp6), std::nullopt);
    EXPECT_EQ(ServerSocketOwner({"::1", 8080, "::1", 40001}, tcp, tcp6), 1002u);
    EXPECT_EQ(ServerSocketOwner({"127.0.0.1", 8080, "127.0.0.1", 40001}, tcp, tcp6), std::nullopt);
    EXPECT_TRUE(IsLoopbackAddress("127.3.2.1"));
    EXPECT_TRUE(IsLoopbackAddress("::1"));
    EXPECT_TRUE(IsLoopbackAddress("::ffff:127.0.0.1"));
    EXPECT_FALSE(IsLoopbackAddress("192.168.1.1"));
}

TEST(PostForm, WorksFromManyThreadsAtOnce)
{
    ServiceFixture service({"--country", "DE"});
    ASSERT_TRUE(service.Running());
    std::vector<std::string> answers(6);
    std::vector<std::thread> threads;
    for (auto& answer : answers)
        threads.emplace_back([&service, &answer] {
            PostForm(service.BaseUrl() + "/velmora/start.php", "Version=1.3.0.0&OperationType=1", answer);
        });
    for (auto& thread : threads)
        thread.join();
    for (const auto& answer : answers)
        EXPECT_NE(answer.find("CountryCode:DE"), std::string::npos) << answer;
}
