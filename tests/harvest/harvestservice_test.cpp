// velmora-service in harvest mode as a process: the key file and the command
// line, the start answer for a loopback caller, the served list; and
// velmora-launcher starting that service when none answers and reusing it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/fsuid.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "locationdatabase.h"
#include "service/postform.h"
#include "serviceoptions.h"
#include "socksfixture.h"
#include "support/scriptedserver.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"

namespace {
std::string Post(const std::string& url, const std::string& body)
{
    std::string answer;
    PostForm(url, body, answer);
    return answer;
}

// The retrieve answer once the first harvest has served something (bounded).
std::string ServedAnswer(const ServiceFixture& service)
{
    std::string answer;
    for (int i = 0; i < 100; ++i) {
        answer = Post(service.BaseUrl() + "/velmora/retrieve.php", "OperationType=4");
        if (answer != "Empty")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return answer;
}

TEST(HarvestOptions, KeyFileFirstThenTheCommandLine)
{
    TempDir dir;
    const std::string config =
        dir.WriteFile("service.conf", "# a user's key file\n[service]\nsources=a.txt;http://127.0.0.1:1/b\n"
                                      "harvest-interval=600\nverify=false\nallow-private=true\nthreads=7\n"
                                      "public-address-url=http://127.0.0.1:1/ip\n");
    std::string configArg = "--config=" + config;
    char* argv[] = {const_cast<char*>("velmora-service"), configArg.data(),
                    const_cast<char*>("--source"),        const_cast<char*>("c.txt"),
                    const_cast<char*>("--threads"),       const_cast<char*>("9"),
                    const_cast<char*>("--verify"),        nullptr};
    ServiceOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseServiceOptions(7, argv, options, help, error)) << error;
    EXPECT_TRUE(options.Harvesting());
    EXPECT_EQ(options.sources, (std::vector<std::string>{"a.txt", "http://127.0.0.1:1/b", "c.txt"}));
    EXPECT_EQ(options.harvestIntervalSeconds, 600);
    EXPECT_EQ(options.threads, 9);
    EXPECT_TRUE(options.verify);
    EXPECT_TRUE(options.allowPrivate);
    EXPECT_EQ(options.publicAddressUrl, "http://127.0.0.1:1/ip");

    dir.WriteFile("bad.conf", "[service]\nthreads=lots\n");
    ServiceOptions bad;
    EXPECT_FALSE(LoadServiceConfig(dir.File("bad.conf"), bad, error));
    dir.WriteFile("typo.conf", "[service]\nsauces=a.txt\n");
    EXPECT_FALSE(LoadServiceConfig(dir.File("typo.conf"), bad, error));
}

TEST(HarvestService, ServesTheHarvestAndAnswersALoopbackCallerWithThePublicAddress)
{
    TempDir dir;
    const std::string list = dir.WriteFile("list.txt", "127.0.0.2:1080\n8.8.8.8:1080\n10.1.1.1:1080\n");
    RawHttpServer addressPage(RawHttpServer::HttpAnswer("193.0.6.139\n"), RawHttpServer::Mode::Answer);
    const std::string pageUrl = "http://127.0.0.1:" + std::to_string(addressPage.Port()) + "/";

    ServiceFixture withPage({"--source", list, "--no-verify", "--public-address-url", pageUrl});
    ASSERT_TRUE(withPage.Running());
    // Without --allow-private only the public address stays.
    const std::string served = ServedAnswer(withPage);
    EXPECT_EQ(served.rfind("8.8.8.8\t1080\t", 0), 0u) << served;
    EXPECT_EQ(served.find("127.0.0.2"), std::string::npos) << served;
    const std::string start = Post(withPage.BaseUrl() + "/velmora/start.php", "Version=1.3.0.0&OperationType=1");
    EXPECT_NE(start.find("IPAddress:193.0.6.139\r\n"), std::string::npos) << start;
    if (access(DefaultLocationDatabasePath().c_str(), R_OK) == 0) {
        EXPECT_NE(start.find("CountryCode:NL\r\n"), std::string::npos) << start;
    }

    ServiceFixture withoutPage({"--source", list, "--no-verify", "--allow-private"});
    ASSERT_TRUE(withoutPage.Running());
    EXPECT_EQ(ServedAnswer(withoutPage).rfind("127.0.0.2\t1080\t-1\t0\t0\t", 0), 0u);
    const std::string local = Post(withoutPage.BaseUrl() + "/velmora/start.php", "Version=1.3.0.0&OperationType=1");
    EXPECT_EQ(local.find("IPAddress:"), std::string::npos) << local;
    EXPECT_EQ(local.find("CountryCode:"), std::string::npos) << local;
}

// The body of a GET on loopback, or "" when it fails.
std::string RawGet(int port, const std::string& path)
{
    httplib::Client client("127.0.0.1", port);
    const auto answer = client.Get(path.c_str());
    return answer && answer->status == 200 ? answer->body : std::string();
}

// velmora-launcher copied beside a stand-in program that records its start.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string bin = dir.Path() + "/bin";
        const std::string share = dir.Path() + "/share/velmora";
        ASSERT_EQ(std::system(("mkdir -p " + bin + " " + share + "/flags " + dir.Path() + "/config/velmora").c_str()),
                  0);
        ASSERT_EQ(std::system(("cp " + std::string(VELMORA_SOURCE_DIR) + "/scripts/velmora-launcher " + bin
                               + " && ln -s " + ServiceFixture::ProgramPath() + " " + bin + "/velmora-service")
                                  .c_str()),
                  0);
        // The launcher only links the catalogue; builds without the GUI generate none.
        dir.WriteFile("share/velmora/countries.nbx", "DE\tGermany\r\n");
        dir.WriteFile("bin/velmora", "#!/bin/sh\necho \"$@\" >>\"$PWD/started\"\n"
                                     "echo \"$VELMORA_SERVICE_URL\" >>\"$PWD/service-url\"\n");
        ASSERT_EQ(std::system(("chmod +x " + bin + "/velmora").c_str()), 0);
        port = RawHttpServer(RawHttpServer::HttpAnswer(""), RawHttpServer::Mode::Answer).Port();  // free again
        const std::string list = dir.WriteFile("list.txt", "127.0.0.3:1080\n");
        dir.WriteFile("config/velmora/service.conf",
                      "[service]\nsources=" + list + "\nallow-private=true\nverify=false\n");
    }
    void TearDown() override
    {
        for (pid_t pid : ServicesOf(dir.File("config"))) {
            kill(pid, SIGTERM);
            for (int i = 0; i < 50 && kill(pid, 0) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    // The velmora-service processes started with a key file under folder.
    static std::vector<pid_t> ServicesOf(const std::string& folder)
    {
        std::vector<pid_t> pids;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const pid_t pid = std::atoi(entry.path().filename().c_str());
            std::ifstream cmdline(entry.path() / "cmdline");
            std::string text((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
            std::replace(text.begin(), text.end(), '\0', ' ');
            if (pid > 0 && text.find("velmora-service --config " + folder + "/") != std::string::npos)
                pids.push_back(pid);
        }
        return pids;
    }
    // The launcher's command line with the test's folders, "VAR=value ..." added to its environment.
    std::string LaunchCommand(const std::string& arguments, const std::string& environment = "")
    {
        return "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + dir.Path() + " XDG_CONFIG_HOME=" + dir.File("config")
               + " XDG_STATE_HOME=" + dir.File("state") + " XDG_DATA_HOME=" + dir.File("data")
               + " VELMORA_FIRST_HARVEST_WAIT=20 VELMORA_SERVICE_URL=http://127.0.0.1:" + std::to_string(port) + " "
               + environment + " timeout 60 bash " + dir.File("bin/velmora-launcher") + " " + arguments + " >>"
               + dir.File("out") + " 2>&1";
    }
    int Launch(const std::string& arguments, const std::string& environment = "")
    {
        return std::system(LaunchCommand(arguments, environment).c_str());
    }

    TempDir dir;
    int port = 0;
};

TEST_F(LauncherTest, StartsTheServiceWhenNoneAnswersAndReusesIt)
{
    ASSERT_EQ(Launch("first"), 0) << dir.ReadFile("out");
    const std::string pid = dir.ReadFile("state/velmora/service.pid");
    ASSERT_FALSE(pid.empty()) << dir.ReadFile("out");
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "first\n");
    // The launcher waited for the first harvest: the program gets the list at once.
    std::string served;
    PostForm("http://127.0.0.1:" + std::to_string(port) + "/velmora/retrieve.php", "OperationType=4", served);
    EXPECT_EQ(served.rfind("127.0.0.3\t1080\t", 0), 0u) << served;

    ASSERT_EQ(Launch("second"), 0) << dir.ReadFile("out");
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "first\nsecond\n");
    EXPECT_EQ(dir.ReadFile("state/velmora/service.pid"), pid);
    const std::string log = dir.ReadFile("state/velmora/service.log");
    EXPECT_EQ(log.find("listening"), log.rfind("listening")) << log;  // started once
}

TEST_F(LauncherTest, OneServiceAfterThreeStartsWithALargeAnswer)
{
    // 6,000 proxies, all served in one answer of about 200 KiB: more than a
    // pipe holds, which once made the check say "not answering".
    std::string list;
    for (int i = 0; i < 6000; ++i)
        list += "127.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + ":1080\n";
    dir.WriteFile("config/velmora/service.conf", "[service]\nsources=" + dir.WriteFile("large.txt", list)
                                                     + "\nallow-private=true\nverify=false\nserve-count=0\n");
    for (const char* run : {"first", "second", "third"})
        ASSERT_EQ(Launch(run), 0) << dir.ReadFile("out");
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "first\nsecond\nthird\n");
    std::string served;
    PostForm("http://127.0.0.1:" + std::to_string(port) + "/velmora/retrieve.php", "OperationType=4", served);
    EXPECT_GT(served.size(), 150000u);
    const std::string log = dir.ReadFile("state/velmora/service.log");
    EXPECT_EQ(log.find("listening"), log.rfind("listening")) << log;  // started once
    // The pid recorded is the service's, which answers.
    pid_t pid = 0;
    std::istringstream(dir.ReadFile("state/velmora/service.pid")) >> pid;
    EXPECT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
}

TEST_F(LauncherTest, FirstStartCountsTheProxiesFoundAndStartsAtTheFirst)
{
    SocksFixture fixture;
    const int page = fixture.AddPage();
    // One proxy that works and three that hold the round for their connect bound.
    std::string list = "127.0.0.1:" + std::to_string(fixture.AddSocks({})) + "\n";
    for (int i = 0; i < 3; ++i)
        list += "127.0.0.1:"
                + std::to_string(fixture.AddSocks(
                    {SocksBehaviour::Protocol::Socks4, SocksBehaviour::Action::NeverAnswer, 0, {}, 100}))
                + "\n";
    dir.WriteFile("config/velmora/service.conf", "[service]\nsources=" + dir.WriteFile("first.txt", list)
                                                     + "\nallow-private=true\ntimeout=20\nconnect-timeout=15\n"
                                                       "test-target="
                                                     + SocksFixture::PageUrl(page) + "|engine|\n");
    ASSERT_EQ(Launch("first"), 0) << dir.ReadFile("out");
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "first\n");
    // The program was started while the round still ran, with the working proxy served.
    std::string status;
    for (int attempt = 0; attempt < 3 && status.empty(); ++attempt)
        status = RawGet(port, "/velmora/status");
    EXPECT_NE(status.find("rounds: 0\n"), std::string::npos) << status;
    EXPECT_NE(status.find("served: 1\n"), std::string::npos) << status;
    const std::string out = dir.ReadFile("out");
    EXPECT_NE(out.find("Working proxies found so far: 1"), std::string::npos) << out;
}

TEST_F(LauncherTest, AnUninstallStopsTheServiceAndLeavesOnlyTheUsersSettings)
{
    // The service as a package installs it: a file of its own, not a link to the build's.
    ASSERT_EQ(
        std::system(("cp --remove-destination " + ServiceFixture::ProgramPath() + " " + dir.File("bin/velmora-service"))
                        .c_str()),
        0);
    ASSERT_EQ(Launch("first"), 0) << dir.ReadFile("out");
    std::ifstream pidFile(dir.File("state/velmora/service.pid"));
    pid_t pid = 0;
    ASSERT_TRUE(pidFile >> pid && pid > 0);
    struct stat info {};
    ASSERT_EQ(lstat(dir.File("data/velmora/countries.nbx").c_str(), &info), 0);

    // apt purge: the programs and the data are gone; the service notices within seconds.
    ASSERT_EQ(std::system(("rm -r " + dir.File("bin") + " " + dir.File("share")).c_str()), 0);
    for (int i = 0; i < 150 && kill(pid, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(kill(pid, 0), 0) << "the service still runs from its deleted file";
    for (const char* left : {"data/velmora/countries.nbx", "data/velmora/flags", "state/velmora"})
        EXPECT_NE(lstat(dir.File(left).c_str(), &info), 0) << left;
    EXPECT_EQ(lstat(dir.File("config/velmora/service.conf").c_str(), &info), 0);  // the user's own
}

TEST_F(LauncherTest, NumbersFromTheEnvironmentAreOnlyNumbers)
{
    // Bash arithmetic on this value would run the command substitution.
    const std::string marker = dir.File("ran");
    ASSERT_EQ(Launch("first", "VELMORA_FIRST_HARVEST_WAIT='HOME[$(touch " + marker + ")]'"), 0) << dir.ReadFile("out");
    EXPECT_EQ(access(marker.c_str(), F_OK), -1);
    EXPECT_NE(dir.ReadFile("out").find("VELMORA_FIRST_HARVEST_WAIT must be a number"), std::string::npos);
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "first\n");
}

TEST_F(LauncherTest, ThreeLaunchersAtOnceOnAFreshHomeAllStartTheProgramWithOneService)
{
    const std::string one = LaunchCommand("one"), two = LaunchCommand("two"), three = LaunchCommand("three");
    ASSERT_EQ(std::system(("(" + one + ") & (" + two + ") & (" + three + ") & wait").c_str()), 0);
    std::string started = dir.ReadFile("data/velmora/started");
    EXPECT_EQ(std::count(started.begin(), started.end(), '\n'), 3) << dir.ReadFile("out");
    EXPECT_EQ(dir.ReadFile("out").find("File exists"), std::string::npos) << dir.ReadFile("out");
    // One service runs, whichever launcher started it.
    EXPECT_EQ(ServicesOf(dir.File("config")).size(), 1u) << dir.ReadFile("state/velmora/service.log");
}

TEST_F(LauncherTest, AnotherUsersListenerOnThePortIsNotTakenForTheService)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "playing another user needs root";
    // nobody's program holds the port (a socket takes the thread's file-system uid).
    setfsuid(65534);
    RawHttpServer foreign(RawHttpServer::HttpAnswer("127.0.0.9\t1080\t-1\t1\t5\t100\r\n"), RawHttpServer::Mode::Answer);
    setfsuid(getuid());
    port = foreign.Port();
    ASSERT_EQ(Launch("first"), 0) << dir.ReadFile("out");
    EXPECT_EQ(foreign.Connections(), 0);
    const std::string url = dir.ReadFile("data/velmora/service-url");
    ASSERT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;
    EXPECT_NE(url, "http://127.0.0.1:" + std::to_string(port) + "\n");
    std::string served;
    PostForm(url.substr(0, url.size() - 1) + "/velmora/retrieve.php", "OperationType=4", served);
    EXPECT_EQ(served.rfind("127.0.0.3\t1080\t", 0), 0u) << served << dir.ReadFile("out");
}

TEST_F(LauncherTest, HelpStartsNothing)
{
    ASSERT_EQ(Launch("--help"), 0);
    EXPECT_NE(dir.ReadFile("out").find("Usage: velmora-launcher"), std::string::npos);
    EXPECT_EQ(dir.ReadFile("data/velmora/started"), "");
    EXPECT_EQ(dir.ReadFile("state/velmora/service.pid"), "");
}
}  // namespace
