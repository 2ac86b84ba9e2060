// The settings file and the country file as a user or a broken disk may
// leave them: read-only, full, a folder in the way, binary garbage. Loading
// never fails and always ends with values in range; saving either writes a
// file that loads back the same or leaves the old file whole.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/countrycatalogue.h"
#include "service/serviceendpoints.h"
#include "settings/setting.h"
#include "support/scopedenv.h"
#include "support/scratchfilesystem.h"
#include "support/tempdir.h"

namespace {
constexpr char kValidFile[] = "Anonymous_Type:\r\nElite\t1\r\nAnonymous\t0\r\nTransparent\t1\r\n"
                              "Country:\r\nAllCountries\t0\r\n1\r\n0\r\nEndOfCountry\r\n"
                              "Test:\r\nTest Type\t0\r\nTest Thread Count\t17\r\nTest Timeout Second\t9\r\n"
                              "Correct Value\tfound\r\nURL\thttp://127.0.0.1:1/page\r\n"
                              "Switch:\r\nFirefox\t1\r\nRatio\t55\r\nInterval\t7\r\n"
                              "Misc:\r\nReplacebyGet\t0\r\nReplacebyImport\t0\r\n";

// Every value the settings hold after loading lies in its accepted range.
void ExpectSane(CSetting& setting)
{
    ASSERT_TRUE(setting.IsLoaded());
    const CSettingTestItem& test = setting.GetTestItem();
    EXPECT_GE(test.threadCount, 5);
    EXPECT_LE(test.threadCount, 30);
    EXPECT_GE(test.timeoutSeconds, 5);
    EXPECT_LE(test.timeoutSeconds, 30);
    // Written back, each text still fits its line.
    EXPECT_LE(test.testUrl.size(), 250u);
    EXPECT_LE(test.correctValue.size(), 240u);
    const CSettingSwitchItem& switching = setting.GetSwitchItem();
    EXPECT_GE(switching.ratio, 20);
    EXPECT_LE(switching.ratio, 100);
    EXPECT_GE(switching.interval, 1);
    EXPECT_LE(switching.interval, 100);
    EXPECT_EQ(setting.GetCountryItem().countryFlags.size(), static_cast<size_t>(GetCountryCatalogue().Count()));
}

// The values of every section, as one comparable text.
std::string Values(CSetting& setting)
{
    const CSettingAnonymousItem& a = setting.GetAnonymousItem();
    const CSettingCountryItem& c = setting.GetCountryItem();
    const CSettingTestItem& t = setting.GetTestItem();
    const CSettingSwitchItem& s = setting.GetSwitchItem();
    const CSettingMiscItem& m = setting.GetMiscItem();
    std::string text = std::to_string(a.elite) + std::to_string(a.anonymous) + std::to_string(a.transparent) + "|"
                       + std::to_string(c.allCountries);
    for (unsigned char flag : c.countryFlags)
        text += flag ? '1' : '0';
    text += "|" + std::to_string(static_cast<int>(t.testType)) + "," + std::to_string(t.threadCount) + ","
            + std::to_string(t.timeoutSeconds) + "," + t.correctValue + "," + t.testUrl + "|"
            + std::to_string(s.firefox) + "," + std::to_string(s.ratio) + "," + std::to_string(s.interval) + "|"
            + std::to_string(m.replaceByGet) + std::to_string(m.replaceByImport);
    return text;
}

class HostileSettingsFile : public ::testing::Test {
protected:
    // Starts in folder with a two-country catalogue and no service to ask.
    void Enter(const std::string& folder)
    {
        chdir = std::make_unique<ScopedChdir>(folder);
        WriteBytes("countries.nbx", "DE\tGermany\r\nFR\tFrance\r\n");
        ResetCountryCatalogueForTest();
    }
    void TearDown() override
    {
        chdir.reset();
        ResetCountryCatalogueForTest();
    }
    static void WriteBytes(const std::string& name, const std::string& bytes)
    {
        FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr) << name;
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        ASSERT_EQ(std::fclose(file), 0);
    }

    ScopedServiceUrl noService{"http://127.0.0.1:9"};
    std::unique_ptr<ScopedChdir> chdir;
    CSetting setting;
};
}  // namespace

TEST_F(HostileSettingsFile, ReadOnlyFolderFailsTheSaveAndKeepsTheValuesInMemory)
{
    ScratchFilesystem scratch(256);
    if (!scratch.Mounted())
        GTEST_SKIP() << scratch.WhyNot();
    Enter(scratch.Path());
    WriteBytes(kSettingFileName, kValidFile);
    setting.Load();
    setting.SetNumber(SettingKey::SwitchRatio, 90);
    setting.SetNumber(SettingKey::TestTimeoutSeconds, 25);
    ASSERT_TRUE(scratch.MakeReadOnly());

    EXPECT_FALSE(setting.Save());
    EXPECT_EQ(ReadFileBytes(kSettingFileName), kValidFile);
    EXPECT_EQ(setting.GetSwitchItem().ratio, 90);
    EXPECT_EQ(setting.GetTestItem().timeoutSeconds, 25);
    EXPECT_EQ(FolderListing(scratch.Path()), (std::vector<std::string>{"countries.nbx", kSettingFileName}));
}

TEST_F(HostileSettingsFile, FullDiskLeavesTheOldFileWholeAndNoTemporaryBehind)
{
    ScratchFilesystem scratch(256);
    if (!scratch.Mounted())
        GTEST_SKIP() << scratch.WhyNot();
    Enter(scratch.Path());
    WriteBytes(kSettingFileName, kValidFile);
    setting.Load();
    setting.SetNumber(SettingKey::SwitchInterval, 42);
    ASSERT_TRUE(scratch.Fill());

    EXPECT_FALSE(setting.Save());
    EXPECT_EQ(ReadFileBytes(kSettingFileName), kValidFile);
    EXPECT_EQ(setting.GetSwitchItem().interval, 42);
    // A temporary left behind would hold the disk full for good.
    EXPECT_EQ(FolderListing(scratch.Path()), (std::vector<std::string>{"countries.nbx", "filler", kSettingFileName}));

    scratch.Unfill();
    EXPECT_TRUE(setting.Save());
    CSetting reloaded;
    reloaded.Load();
    EXPECT_EQ(Values(reloaded), Values(setting));
}

TEST_F(HostileSettingsFile, FolderInPlaceOfEitherFileGivesDefaults)
{
    TempDir dir;
    Enter(dir.Path());
    ASSERT_EQ(mkdir(kSettingFileName, 0700), 0);
    setting.Load();
    ExpectSane(setting);
    EXPECT_EQ(setting.GetTestItem().threadCount, 10);
    EXPECT_EQ(setting.GetTestItem().testUrl, FallbackTestUrl());
    EXPECT_FALSE(setting.Save());  // a folder cannot be replaced by the file
    EXPECT_TRUE(std::filesystem::is_directory(kSettingFileName));
    EXPECT_EQ(FolderListing(dir.Path()), (std::vector<std::string>{"countries.nbx", kSettingFileName}));

    std::remove("countries.nbx");
    ASSERT_EQ(mkdir("countries.nbx", 0700), 0);
    ResetCountryCatalogueForTest();
    EXPECT_EQ(GetCountryCatalogue().Count(), 0);
    EXPECT_EQ(FindCountryByCode("DE"), -1);
    CSetting noCountries;
    noCountries.Load();
    ExpectSane(noCountries);
    EXPECT_EQ(noCountries.GetCountryItem().countryFlags.size(), 0u);
}

TEST_F(HostileSettingsFile, TextsAtTheLongestLoadableLengthLoadTheSameAfterASave)
{
    // The longest values a line of the file can carry: "URL", tab and 251
    // characters, "Correct Value", tab and 241 characters, 255 in all. Whether
    // they are taken or refused on loading, a save must not lose what loaded.
    TempDir dir;
    Enter(dir.Path());
    const std::string url = "http://127.0.0.1:1/" + std::string(251 - 19, 'u');
    const std::string expected(241, 'e');
    std::string file = kValidFile;
    file.replace(file.find("found"), 5, expected);
    file.replace(file.find("http://127.0.0.1:1/page"), 23, url);
    for (const std::string& bytes :
         {file.substr(0, file.find("URL\t")) + "URL\thttp://127.0.0.1:1/page\r\n" + file.substr(file.find("Switch:")),
          file}) {
        WriteBytes(kSettingFileName, bytes);
        CSetting loaded;
        loaded.Load();
        ExpectSane(loaded);
        const std::string before = Values(loaded);

        ASSERT_TRUE(loaded.Save());
        CSetting reloaded;
        reloaded.Load();
        EXPECT_EQ(Values(reloaded), before);
    }
}

TEST_F(HostileSettingsFile, GarbageLoadsSaneAndEverySaveLoadsBackTheSame)
{
    TempDir dir;
    Enter(dir.Path());
    std::mt19937 random(77);
    const std::string valid = kValidFile;
    for (int round = 0; round < 150; ++round) {
        std::string bytes;
        switch (round % 3) {
        case 0:  // pure noise, NUL bytes included
            bytes.resize(random() % 3000);
            for (char& c : bytes)
                c = static_cast<char>(random());
            break;
        case 1: {  // a valid file with bytes changed
            bytes = valid;
            for (int i = 0, n = 1 + static_cast<int>(random() % 8); i < n; ++i)
                bytes[random() % bytes.size()] = "\t\r\n\0x9-"[random() % 7];
            break;
        }
        default: {  // a valid file cut, with a long run of one byte spliced in
            bytes = valid.substr(0, random() % valid.size());
            bytes.insert(random() % (bytes.size() + 1), std::string(random() % 600, "a\t9"[random() % 3]));
            bytes += valid.substr(random() % valid.size());
            break;
        }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        WriteBytes(kSettingFileName, bytes);
        CSetting fromGarbage;
        fromGarbage.Load();
        ExpectSane(fromGarbage);
        ASSERT_TRUE(fromGarbage.Save());
        CSetting reloaded;
        reloaded.Load();
        EXPECT_EQ(Values(reloaded), Values(fromGarbage));
    }
}

TEST_F(HostileSettingsFile, GarbageCountryFileKeepsEntriesWithinTheirFields)
{
    TempDir dir;
    Enter(dir.Path());
    std::mt19937 random(5);
    for (int round = 0; round < 60; ++round) {
        std::string bytes(random() % 5000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 3 == 0 ? "\t\r\nDE"[random() % 5] : random());
        WriteBytes("countries.nbx", bytes);
        ResetCountryCatalogueForTest();
        const CCountryCatalogue& catalogue = GetCountryCatalogue();
        SCOPED_TRACE("round " + std::to_string(round));
        for (int i = 0; i < catalogue.Count(); ++i) {
            ASSERT_NE(catalogue.EntryAt(i), nullptr);
            EXPECT_LE(catalogue.EntryAt(i)->code.size(), 2u);
            EXPECT_LE(catalogue.EntryAt(i)->name.size(), 63u);
        }
        EXPECT_EQ(catalogue.EntryAt(catalogue.Count()), nullptr);
        const int found = FindCountryByCode("DE");
        EXPECT_TRUE(found == -1 || catalogue.EntryAt(found)->code == "DE");
        // The settings size their country flags by whatever came out.
        CSetting withThem;
        withThem.Load();
        EXPECT_EQ(withThem.GetCountryItem().countryFlags.size(), static_cast<size_t>(catalogue.Count()));
    }
}
