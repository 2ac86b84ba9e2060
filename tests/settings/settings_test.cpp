// The settings model and "setting.nbx": layout, ranges, fallbacks and the
// test-target request behind the test section's defaults.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/countrycatalogue.h"
#include "service/serviceendpoints.h"
#include "service/startrequest.h"
#include "settings/onoffsetting.h"
#include "settings/setting.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"

namespace {
std::string DefaultFile(const std::string& url, const std::string& value)
{
    return "Anonymous_Type:\r\nElite\t1\r\nAnonymous\t1\r\nTransparent\t0\r\n"
           "Country:\r\nAllCountries\t1\r\n0\r\n0\r\n0\r\nEndOfCountry\r\n"
           "Test:\r\nTest Type\t2\r\nTest Thread Count\t10\r\nTest Timeout Second\t20\r\n"
           "Correct Value\t"
           + value + "\r\nURL\t" + url
           + "\r\n"
             "Switch:\r\nFirefox\t0\r\nRatio\t30\r\nInterval\t2\r\n"
             "Misc:\r\nReplacebyGet\t1\r\nReplacebyImport\t1\r\n";
}

const char kAnonymous[] = "Anonymous_Type:\r\nElite\t0\r\nAnonymous\t1\r\nTransparent\t1\r\n";
const char kCountry[] = "Country:\r\nAllCountries\t0\r\n1\r\n0\r\n1\r\nEndOfCountry\r\n";
const char kTest[] = "Test:\r\nTest Type\t0\r\nTest Thread Count\t25\r\nTest Timeout Second\t7\r\n"
                     "Correct Value\tHello World\r\nURL\thttp://127.0.0.1:1/page.html\r\n";
const char kSwitch[] = "Switch:\r\nFirefox\t1\r\nRatio\t55\r\nInterval\t9\r\n";
const char kMisc[] = "Misc:\r\nReplacebyGet\t0\r\nReplacebyImport\t0\r\n";

// The program's source of test-section defaults: the service's test target.
DefaultTestTarget ServiceTestTarget()
{
    DefaultTestTarget target;
    RequestTestTarget(target.url, target.expected);
    return target;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFile("countries.nbx", "US\tUnited States\r\nDE\tGermany\r\nFR\tFrance\r\n");
        ResetCountryCatalogueForTest();
        setting.ResetForTest();
        // Nothing answers here, so a test-section reset takes the fallback.
        setenv("VELMORA_SERVICE_URL", "http://127.0.0.1:9", 1);
    }
    void TearDown() override
    {
        setting.ResetForTest();
        ResetCountryCatalogueForTest();
    }

    void LoadFile(const std::string& content)
    {
        dir.WriteFile(kSettingFileName, content);
        ASSERT_TRUE(setting.SettingFileExists());
        setting.Load();
        ASSERT_TRUE(setting.IsLoaded());
    }
    void ExpectTestDefaults()
    {
        const CSettingTestItem& test = setting.GetTestItem();
        EXPECT_EQ(test.testType, TestType::Speed);
        EXPECT_EQ(test.threadCount, 10);
        EXPECT_EQ(test.timeoutSeconds, 20);
        EXPECT_EQ(test.testUrl, FallbackTestUrl());
        EXPECT_EQ(test.correctValue, "engine");
    }
    void ExpectSwitchAndMiscDefaults()
    {
        EXPECT_FALSE(setting.GetSwitchItem().firefox);
        EXPECT_EQ(setting.GetSwitchItem().ratio, 30);
        EXPECT_EQ(setting.GetSwitchItem().interval, 2);
        EXPECT_TRUE(setting.GetMiscItem().replaceByGet);
        EXPECT_TRUE(setting.GetMiscItem().replaceByImport);
    }
    std::string Saved()
    {
        EXPECT_TRUE(setting.Save());
        return dir.ReadFile(kSettingFileName);
    }

    TempDir dir;
    ScopedChdir chdir{dir.Path()};
    CSetting& setting = GetSetting();
};
}  // namespace

TEST_F(Settings, FirstStartWritesTheDefaultsWithTheServicesTestTarget)
{
    ServiceFixture service;
    ASSERT_TRUE(service.Running());
    service.UseAsService();
    setting.SetTestTargetSource(ServiceTestTarget);
    EXPECT_FALSE(setting.SettingFileExists());
    setting.CreateDefaults();
    EXPECT_TRUE(setting.IsLoaded());
    EXPECT_EQ(Saved(), DefaultFile(service.BaseUrl() + "/page/test.html", "engine"));
    EXPECT_TRUE(service.LogShows("POST /tolvane/testurl.txt -> 200"));
    EXPECT_EQ(dir.ReadFile("setting.nbx.tmp"), "");  // no temporary left behind
}

TEST_F(Settings, FirstStartWithoutServiceTakesTheFallbackTarget)
{
    setting.CreateDefaults();
    EXPECT_EQ(Saved(), DefaultFile(FallbackTestUrl(), "engine"));
}

TEST_F(Settings, WrittenValuesLoadBackUnchanged)
{
    const std::string file = std::string(kAnonymous) + kCountry + kTest + kSwitch + kMisc;
    LoadFile(file);
    EXPECT_FALSE(setting.GetAnonymousItem().elite);
    EXPECT_FALSE(setting.GetCountryItem().allCountries);
    EXPECT_EQ(setting.GetCountryItem().countryFlags, (std::vector<unsigned char>{1, 0, 1}));
    EXPECT_EQ(setting.GetTestItem().threadCount, 25);
    EXPECT_EQ(setting.GetTestItem().correctValue, "Hello World");
    EXPECT_EQ(setting.GetSwitchItem().ratio, 55);
    EXPECT_FALSE(setting.GetMiscItem().replaceByImport);
    EXPECT_EQ(Saved(), file);
}

// Every key walked through its typed setter to a value other than its
// default gives the checked-in file, and each change names its key.
TEST_F(Settings, EveryValueOtherThanItsDefaultIsSavedAsTheCheckedInFile)
{
    setting.CreateDefaults();
    std::vector<SettingChange> changes;
    setting.SetChangedCallback([&changes](const SettingChange& change) { changes.push_back(change); });
    for (int index = 0; index <= static_cast<int>(SettingKey::ReplaceByImport); ++index) {
        const auto key = static_cast<SettingKey>(index);
        const SettingKeyInfo& info = SettingInfo(key);
        SCOPED_TRACE(info.name);
        if (key == SettingKey::TestUrl)
            ASSERT_TRUE(setting.SetText(key, "http://127.0.0.1:1/page.html"));
        else if (key == SettingKey::CorrectValue)
            ASSERT_TRUE(setting.SetText(key, "Welcome"));
        else
            ASSERT_TRUE(setting.SetNumber(key, info.defaultNumber == info.high ? info.low : info.high));
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back().key, key);
        EXPECT_EQ(changes.back().section, info.section);
    }
    for (size_t country = 0; country < 3; ++country)
        ASSERT_TRUE(setting.SetCountryFlag(country, true));
    EXPECT_FALSE(setting.SetCountryFlag(3, true));

    // Refused values change nothing and tell nobody.
    changes.clear();
    EXPECT_FALSE(setting.SetNumber(SettingKey::TestThreadCount, 31));
    EXPECT_FALSE(setting.SetNumber(SettingKey::TestUrl, 1));
    EXPECT_FALSE(setting.SetText(SettingKey::TestUrl, std::string(251, 'u')));
    EXPECT_TRUE(setting.SetFlag(SettingKey::Firefox, true));  // as it was
    EXPECT_TRUE(changes.empty());

    std::ifstream expected(std::string(VELMORA_SOURCE_DIR) + "/tests/settings/data/nondefault.nbx", std::ios::binary);
    EXPECT_EQ(Saved(), std::string(std::istreambuf_iterator<char>(expected), {}));
}

// The sections before loading hold the key table's defaults.
TEST(SettingKeys, AFreshSettingHoldsEveryDefaultOfTheTable)
{
    const CSetting fresh("unused.nbx");
    for (int index = 0; index <= static_cast<int>(SettingKey::ReplaceByImport); ++index) {
        const auto key = static_cast<SettingKey>(index);
        if (key == SettingKey::CorrectValue || key == SettingKey::TestUrl)
            EXPECT_EQ(fresh.Text(key), "") << SettingInfo(key).name;  // given when loading
        else
            EXPECT_EQ(fresh.Number(key), SettingInfo(key).defaultNumber) << SettingInfo(key).name;
    }
}

TEST_F(Settings, ThreadCountOutOfRangeResetsTheTestSectionAndEverythingAfter)
{
    std::string test = kTest;
    test.replace(test.find("\t25"), 3, "\t31");
    LoadFile(std::string(kAnonymous) + kCountry + test + kSwitch + kMisc);
    ExpectTestDefaults();
    ExpectSwitchAndMiscDefaults();
    EXPECT_FALSE(setting.GetAnonymousItem().elite);  // read before the fault
    EXPECT_FALSE(setting.GetCountryItem().allCountries);
}

TEST_F(Settings, AnOverLongTextFallsBackAloneWithItsPartner)
{
    // A hand-edited URL of 251 characters: the test page and its text take
    // the default pair, everything else of the file stays.
    std::string file = std::string(kAnonymous) + kCountry + kTest + kSwitch + kMisc;
    file.replace(file.find("http://127.0.0.1:1/page.html"), 28, "http://127.0.0.1:1/" + std::string(232, 'u'));
    LoadFile(file);
    const CSettingTestItem& test = setting.GetTestItem();
    EXPECT_EQ(test.testType, TestType::None);
    EXPECT_EQ(test.threadCount, 25);
    EXPECT_EQ(test.timeoutSeconds, 7);
    EXPECT_EQ(test.testUrl, FallbackTestUrl());
    EXPECT_EQ(test.correctValue, "engine");
    EXPECT_EQ(setting.GetSwitchItem().ratio, 55);
    EXPECT_FALSE(setting.GetMiscItem().replaceByGet);
}

TEST_F(Settings, TabsAndLineBreaksInATextNeverSplitALine)
{
    LoadFile(std::string(kAnonymous) + kCountry + kTest + kSwitch + kMisc);
    setting.SetText(SettingKey::TestUrl, "http://127.0.0.1:1/\tpage\r\n");
    setting.SetText(SettingKey::CorrectValue, "Hello\nWorld\x7f");
    const std::string saved = Saved();
    EXPECT_NE(saved.find("\r\nURL\thttp://127.0.0.1:1/page\r\nSwitch:\r\n"), std::string::npos) << saved;
    setting.Load();
    EXPECT_EQ(setting.GetTestItem().correctValue, "HelloWorld");
    EXPECT_EQ(setting.GetSwitchItem().ratio, 55);
    EXPECT_EQ(setting.GetSwitchItem().interval, 9);
    EXPECT_FALSE(setting.GetMiscItem().replaceByImport);
}

TEST_F(Settings, SectionsInAnyOrderAndTheLastRepeatWins)
{
    const std::string firstMisc = "Misc:\r\nReplacebyGet\t1\r\nReplacebyImport\t1\r\n";
    LoadFile(firstMisc + kSwitch + kTest + kMisc + kCountry + kAnonymous);
    EXPECT_FALSE(setting.GetMiscItem().replaceByGet);
    EXPECT_FALSE(setting.GetMiscItem().replaceByImport);
    EXPECT_TRUE(setting.GetSwitchItem().firefox);
    EXPECT_EQ(setting.GetTestItem().testType, TestType::None);
    EXPECT_EQ(setting.GetCountryItem().countryFlags, (std::vector<unsigned char>{1, 0, 1}));
    EXPECT_TRUE(setting.GetAnonymousItem().transparent);
    EXPECT_EQ(Saved(), std::string(kAnonymous) + kCountry + kTest + kSwitch + kMisc);
}

TEST_F(Settings, CountrySectionOfAnotherSizeTakesTheDefaults)
{
    for (const char* country : {"Country:\r\nAllCountries\t0\r\n1\r\n1\r\nEndOfCountry\r\n",
                                "Country:\r\nAllCountries\t0\r\nEndOfCountry\r\n"}) {
        SCOPED_TRACE(country);
        LoadFile(std::string(kAnonymous) + country + kTest + kSwitch + kMisc);
        EXPECT_TRUE(setting.GetCountryItem().allCountries);
        EXPECT_EQ(setting.GetCountryItem().countryFlags, (std::vector<unsigned char>{0, 0, 0}));
        // Ending the flags at "EndOfCountry" keeps the later sections readable.
        EXPECT_EQ(setting.GetTestItem().threadCount, 25);
        EXPECT_EQ(setting.GetMiscItem().replaceByGet, false);
    }

    // One flag line too many: reading stops there, later sections default.
    LoadFile(std::string(kAnonymous) + "Country:\r\nAllCountries\t0\r\n1\r\n1\r\n1\r\n1\r\nEndOfCountry\r\n" + kTest);
    EXPECT_TRUE(setting.GetCountryItem().allCountries);
    ExpectTestDefaults();
}

TEST_F(Settings, TestTypeOtherThanZeroOrOneReadsAndWritesAsTwo)
{
    std::string test = kTest;
    test.replace(test.find("Type\t0"), 6, "Type\t7");
    LoadFile(std::string(kAnonymous) + kCountry + test + kSwitch + kMisc);
    EXPECT_EQ(setting.GetTestItem().testType, TestType::Speed);
    EXPECT_EQ(setting.GetTestItem().threadCount, 25);
    EXPECT_NE(Saved().find("Test Type\t2\r\n"), std::string::npos);

    test.replace(test.find("Type\t7"), 6, "Type\t1");
    LoadFile(test);
    EXPECT_EQ(setting.GetTestItem().testType, TestType::Availability);
}

TEST_F(Settings, NoAnonymityTypeAtAllGivesTheDefaults)
{
    LoadFile(std::string("Anonymous_Type:\r\nElite\t0\r\nAnonymous\t0\r\nTransparent\t0\r\n") + kCountry);
    EXPECT_TRUE(setting.GetAnonymousItem().elite);
    EXPECT_TRUE(setting.GetAnonymousItem().anonymous);
    EXPECT_FALSE(setting.GetAnonymousItem().transparent);
    EXPECT_FALSE(setting.GetCountryItem().allCountries);  // the next header still counts
}

TEST_F(Settings, UnusableTestTargetAnswersGiveTheFallback)
{
    for (const char* answer : {"a|b|", "http://127.0.0.1:1/very/long/path/to/a/test/page.html|engine|",
                               "http://127.0.0.1/page|engine", "http://127.0.0.1/||", "file:///etc/hostname|x|"}) {
        SCOPED_TRACE(answer);
        // Our own service refuses to serve these; whatever else answers might.
        setting.SetTestTargetSource([answer] {
            DefaultTestTarget target;
            ParseTestTarget(answer, target.url, target.expected);
            return target;
        });
        setting.CreateDefaults();
        EXPECT_EQ(setting.GetTestItem().testUrl, FallbackTestUrl());
        EXPECT_EQ(setting.GetTestItem().correctValue, "engine");
    }
    ServiceFixture service({"--test-target", "http://127.0.0.1:1/|Found|rest"});
    service.UseAsService();
    setting.SetTestTargetSource(ServiceTestTarget);
    setting.CreateDefaults();
    EXPECT_EQ(setting.GetTestItem().testUrl, "http://127.0.0.1:1/");
    EXPECT_EQ(setting.GetTestItem().correctValue, "Found");
}

TEST_F(Settings, DamagedOrMissingFileLoadsDefaults)
{
    LoadFile("Unknown:\r\nElite\t0\r\n");
    ExpectTestDefaults();
    EXPECT_TRUE(setting.GetAnonymousItem().elite);

    std::remove(kSettingFileName);
    EXPECT_FALSE(setting.SettingFileExists());
    setting.Load();
    EXPECT_TRUE(setting.IsLoaded());
    EXPECT_EQ(Saved(), DefaultFile(FallbackTestUrl(), "engine"));
}

TEST_F(Settings, FailedSaveLeavesTheFileAsItWas)
{
    const std::string file = std::string(kAnonymous) + kCountry + kTest + kSwitch + kMisc;
    LoadFile(file);
    setting.SetNumber(SettingKey::SwitchRatio, 80);

    // The temporary cannot be created.
    ASSERT_EQ(mkdir(dir.File("setting.nbx.tmp").c_str(), 0700), 0);
    EXPECT_FALSE(setting.Save());
    EXPECT_EQ(dir.ReadFile(kSettingFileName), file);
    rmdir(dir.File("setting.nbx.tmp").c_str());

    // The temporary cannot replace the file.
    std::remove(kSettingFileName);
    ASSERT_EQ(mkdir(dir.File(kSettingFileName).c_str(), 0700), 0);
    EXPECT_FALSE(setting.Save());
    EXPECT_EQ(dir.ReadFile("setting.nbx.tmp"), "");
    rmdir(dir.File(kSettingFileName).c_str());
    EXPECT_EQ(setting.GetSwitchItem().ratio, 80);  // memory keeps the new value

    // Writing that fails midway (a full disk) is noticed, not reported as success.
    dir.WriteFile(kSettingFileName, file);
    if (FILE* full = std::fopen("/dev/full", "w")) {
        std::fclose(full);
        ASSERT_EQ(symlink("/dev/full", dir.File("setting.nbx.tmp").c_str()), 0);
        EXPECT_FALSE(setting.Save());
        EXPECT_EQ(dir.ReadFile(kSettingFileName), file);
    }
}

TEST(WebRtcSetting, OnForNewSettingsOffForOlderOnesAndKeptInItsOwnFile)
{
    TempDir dir;
    const std::string path = dir.File("webrtc.nbx");
    COnOffSetting created = NewWebRtcSetting(path);
    created.Load(true);
    EXPECT_TRUE(created.on);
    EXPECT_EQ("WebRTC:\r\nKeep Behind Proxy\t1\r\n", dir.ReadFile("webrtc.nbx"));

    // Settings from before the choice existed: off until the user turns it on.
    std::remove(path.c_str());
    COnOffSetting older = NewWebRtcSetting(path);
    older.Load(false);
    EXPECT_FALSE(older.on);
    older.on = true;
    ASSERT_TRUE(older.Save());
    COnOffSetting again = NewWebRtcSetting(path);
    again.Load(false);
    EXPECT_TRUE(again.on);

    // A damaged file counts as missing.
    dir.WriteFile("webrtc.nbx", "Keep Behind Proxy\t1\r\n");
    again.Load(false);
    EXPECT_FALSE(again.on);

    // The rotation choice: the same layout in a file of its own.
    COnOffSetting rotation = NewRotationSetting(dir.File("rotation.nbx"));
    rotation.Load(false);
    EXPECT_FALSE(rotation.on);
    EXPECT_EQ("Rotation:\r\nChange Proxy\t0\r\n", dir.ReadFile("rotation.nbx"));
}

TEST_F(Settings, TheTestTargetFollowsTheServiceUntilTheUserTypesTheirOwn)
{
    const DefaultTestTarget first{"http://127.0.0.1:7/a.html", "alpha"}, second{"http://127.0.0.1:7/b.html", "beta"};
    setting.SetTestTargetSource([&first] { return first; });
    setting.CreateDefaults();
    ASSERT_TRUE(setting.Save());
    // The next start: the service was pointed at another page meanwhile.
    setting.ResetForTest();
    setting.Load();
    EXPECT_TRUE(setting.TestTargetFollowsService());
    EXPECT_TRUE(setting.FollowServiceTestTarget(second));
    setting.ResetForTest();
    setting.Load();  // saved at once
    EXPECT_EQ(setting.GetTestItem().testUrl, second.url);
    EXPECT_EQ(setting.GetTestItem().correctValue, second.expected);
    EXPECT_FALSE(setting.FollowServiceTestTarget(second));  // nothing to change

    // A page the user typed stays, whatever the service says.
    setting.SetText(SettingKey::TestUrl, "http://127.0.0.1:8/mine.html");
    ASSERT_TRUE(setting.Save());
    setting.ResetForTest();
    setting.Load();
    EXPECT_FALSE(setting.TestTargetFollowsService());
    EXPECT_FALSE(setting.FollowServiceTestTarget(first));
    EXPECT_EQ(setting.GetTestItem().testUrl, "http://127.0.0.1:8/mine.html");
    EXPECT_FALSE(setting.FollowServiceTestTarget({}));  // no answer from the service
}

TEST_F(Settings, AServiceTargetTooLongForTheFileIsNotTaken)
{
    LoadFile(DefaultFile(FallbackTestUrl(), "engine"));
    EXPECT_FALSE(setting.FollowServiceTestTarget({"http://127.0.0.1:7/" + std::string(300, 'a'), "alpha"}));
    EXPECT_EQ(setting.GetTestItem().testUrl, FallbackTestUrl());
}

TEST_F(Settings, TheFallbackTargetGivesWayToTheServicesAndAForeignOneStays)
{
    LoadFile(DefaultFile(FallbackTestUrl(), "engine"));  // made while the service did not answer
    EXPECT_TRUE(setting.FollowServiceTestTarget({"http://127.0.0.1:7/a.html", "alpha"}));
    EXPECT_EQ(setting.GetTestItem().testUrl, "http://127.0.0.1:7/a.html");

    // A target no service gave (no record of one beside the file) is the user's.
    std::remove(kServiceTargetFileName);
    LoadFile(DefaultFile("http://127.0.0.1:8/mine.html", "mine"));
    EXPECT_FALSE(setting.FollowServiceTestTarget({"http://127.0.0.1:7/a.html", "alpha"}));
    EXPECT_EQ(setting.GetTestItem().testUrl, "http://127.0.0.1:8/mine.html");
}
