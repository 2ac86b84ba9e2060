// velmora-service, the stand-in for the maker's web service: its endpoints,
// pages, error statuses and the live proxy list file.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>

#include "service/curlglobal.h"
#include "service/postform.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"

namespace {
struct Reply {
    long status = 0;
    std::string body;
};

size_t Collect(char* bytes, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(bytes, size * count);
    return size * count;
}

// One request with any method; the status is 0 when the transfer failed.
Reply Request(const std::string& method, const std::string& url)
{
    EnsureCurlGlobalInit();
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST")
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_cleanup(curl);
    return reply;
}

std::string Retrieve(const ServiceFixture& service)
{
    std::string out;
    EXPECT_TRUE(PostForm(service.BaseUrl() + "/velmora/retrieve.php", "OperationType=4", out));
    return out;
}

// A loopback connection to port, -1 when refused.
int Connect(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    close(fd);
    return -1;
}

// Sends bytes on a raw connection and reads until the service closes it;
// returns the reply.
std::string SendRaw(int port, const std::string& bytes)
{
    const int fd = Connect(port);
    std::string reply;
    if (fd >= 0) {
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        char chunk[512];
        for (ssize_t got; (got = recv(fd, chunk, sizeof chunk, 0)) > 0;)
            reply.append(chunk, static_cast<size_t>(got));
        close(fd);
    }
    return reply;
}
}  // namespace

TEST(StandInService, ServesTheProxyFileAsItIsNowAndEmptyWithoutOne)
{
    TempDir dir;
    const std::string first = "127.0.0.1\t1080\t0\t1\t10\t200\r\n127.0.0.2\t1081\t-1\t0\t0\t3600000\r\n";
    const std::string list = dir.WriteFile("proxies.txt", first);
    ServiceFixture service({"--proxies", list});
    ASSERT_TRUE(service.Running());
    EXPECT_EQ(Retrieve(service), first);

    // An operator replaces the file while the service runs.
    const std::string second = "127.0.0.3\t9050\t2\t1\t1\t50";
    dir.WriteFile("next.txt", second);
    ASSERT_EQ(std::rename(dir.File("next.txt").c_str(), list.c_str()), 0);
    EXPECT_EQ(Retrieve(service), second);

    dir.WriteFile("proxies.txt", "\r\n\r\n");
    EXPECT_EQ(Retrieve(service), "Empty");
    std::remove(list.c_str());
    EXPECT_EQ(Retrieve(service), "Empty");
}

TEST(StandInService, AnswersTheTestTargetAndItsOwnPages)
{
    ServiceFixture service;
    ASSERT_TRUE(service.Running());
    std::string target;
    ASSERT_TRUE(PostForm(service.BaseUrl() + "/tolvane/testurl.txt", "", target));
    EXPECT_EQ(target, service.BaseUrl() + "/page/test.html|engine|");

    const Reply page = Request("GET", service.BaseUrl() + "/page/test.html");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("engine"), std::string::npos);
    for (const char* path : {"/", "/page/support.html", "/page/proxylist.html"})
        EXPECT_EQ(Request("GET", service.BaseUrl() + path).status, 200) << path;

    ServiceFixture configured({"--test-target", "http://127.0.0.1:1/t.html|hello|"});
    ASSERT_TRUE(PostForm(configured.BaseUrl() + "/tolvane/testurl.txt", "", target));
    EXPECT_EQ(target, "http://127.0.0.1:1/t.html|hello|");
}

TEST(StandInService, RefusesToStartWithATestTargetTheProgramWouldRefuse)
{
    TempDir dir;
    const std::string config = dir.WriteFile("service.conf", "[service]\ntest-target=file:///etc/hostname|x|\n");
    for (const std::string& options : std::vector<std::string>{
             "--test-target 'x|y|'", "--test-target 'http://127.0.0.1:1/" + std::string(40, 'p') + "|engine|'",
             "--test-target 'http://127.0.0.1:1/|engine'", "--test-target 'ftp://127.0.0.1/x|engine|'",
             "--config " + config}) {
        // Bounded, so that a service that starts anyway fails the test.
        FILE* run =
            popen(("timeout 5 " + ServiceFixture::ProgramPath() + " --port 0 " + options + " 2>&1").c_str(), "r");
        ASSERT_NE(run, nullptr);
        std::string text;
        char chunk[512];
        for (size_t got; (got = fread(chunk, 1, sizeof chunk, run)) > 0;)
            text.append(chunk, got);
        EXPECT_EQ(WEXITSTATUS(pclose(run)), 2) << options << "\n" << text;
        EXPECT_NE(text.find("test-target must be 'URL|text|', 8 to 49 bytes with an http or https URL"),
                  std::string::npos)
            << text;
    }
}

TEST(StandInService, RefusesUnknownPathsAndWrongMethodsAndSurvivesGarbage)
{
    ServiceFixture service;
    ASSERT_TRUE(service.Running());
    EXPECT_EQ(Request("POST", service.BaseUrl() + "/velmora/nothing.php").status, 404);
    EXPECT_EQ(Request("GET", service.BaseUrl() + "/page/missing.html").status, 404);
    EXPECT_EQ(Request("GET", service.BaseUrl() + "/velmora/start.php").status, 405);
    EXPECT_EQ(Request("DELETE", service.BaseUrl() + "/velmora/retrieve.php").status, 405);
    EXPECT_EQ(Request("POST", service.BaseUrl() + "/page/test.html").status, 405);

    SendRaw(service.Port(), std::string("\x16\x03\x01\x00\xff\x00garbage\r\n\r\n", 17));
    SendRaw(service.Port(), "POST /velmora/start.php HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n");
    SendRaw(service.Port(), "GET /" + std::string(100000, 'a') + " HTTP/1.1\r\n\r\n");
    SendRaw(service.Port(), "POST /velmora/start.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n");
    EXPECT_EQ(Request("POST", service.BaseUrl() + "/velmora/start.php").status, 200);
    EXPECT_TRUE(service.LogShows("GET /velmora/start.php -> 405")) << service.Log();
}

TEST(StandInService, RefusesChunkedBodiesAndLongPathsUnreadAndLogsShortLines)
{
    ServiceFixture service;
    ASSERT_TRUE(service.Running());
    const std::string chunked = SendRaw(service.Port(), "POST /velmora/retrieve.php HTTP/1.1\r\nHost: x\r\n"
                                                        "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.rfind("HTTP/1.1 411 ", 0), 0u) << chunked;
    const std::string path = "/velmora/" + std::string(2000, 'a') + "\x01";
    const std::string longPath = SendRaw(service.Port(), "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(longPath.rfind("HTTP/1.1 414 ", 0), 0u) << longPath;
    ASSERT_TRUE(service.LogShows("GET /velmora/aaa"));
    for (size_t start = 0, end; (end = service.Log().find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LT(end - start, 200u) << service.Log().substr(start, 200);
}

TEST(StandInService, KeepsAnsweringItsUserWhileAnotherUserTricklesRequests)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "playing another user needs root";
    ServiceFixture service;
    ASSERT_TRUE(service.Running());
    // 70 connections of nobody's (a socket takes the thread's file-system
    // uid), each sending a header line a second: more than the service's workers.
    std::vector<int> slow;
    setfsuid(65534);
    for (int i = 0; i < 70; ++i)
        slow.push_back(Connect(service.Port()));
    setfsuid(getuid());
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        for (int second = 0; second < 20 && !done; ++second) {
            for (int fd : slow)
                send(fd, second == 0 ? "GET / HTTP/1.1\r\n" : "X-Slow: 1\r\n", second == 0 ? 16 : 11, MSG_NOSIGNAL);
            for (int wait = 0; wait < 10 && !done; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Given up after 3 s without an answer.
    PostFormOptions& tuning = PostFormTuning();
    const PostFormOptions saved = tuning;
    tuning.lowSpeedTimeSeconds = 3;
    std::string answer;
    EXPECT_TRUE(PostForm(service.BaseUrl() + "/velmora/retrieve.php", "OperationType=4", answer));
    EXPECT_EQ(answer, "Empty");
    tuning = saved;
    done = true;
    trickle.join();
    for (int fd : slow)
        close(fd);
}

TEST(StandInService, TakesTheCountryFromItsTable)
{
    TempDir dir;
    const std::string table = dir.WriteFile("table.txt", "# test ranges\n10.0.0.0/8 US\n127.0.0.0/8 FR\n");
    ServiceFixture service({"--country-table", table});
    ASSERT_TRUE(service.Running());
    std::string answer;
    ASSERT_TRUE(PostForm(service.BaseUrl() + "/velmora/start.php", "Version=1.3.0.0&OperationType=1", answer));
    EXPECT_NE(answer.find("IPAddress:127.0.0.1\r\n"), std::string::npos) << answer;
    EXPECT_NE(answer.find("CountryCode:FR\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.find("MsgStart"), std::string::npos);
}

TEST(StandInService, HelpNamesEveryOption)
{
    FILE* help = popen((ServiceFixture::ProgramPath() + " --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char chunk[512];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, help)) > 0;)
        text.append(chunk, got);
    EXPECT_EQ(pclose(help), 0);
    for (const char* option : {"--port ", "--port-file", "--proxies", "--country ", "--country-table", "--message ",
                               "--message-type", "--message-caption", "--test-target", "--start-answer", "--help"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}
