#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "browser/chromiumprefs.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;

namespace {

const std::string kOurs = "\"disable_non_proxied_udp\"";

// The way Chromium writes the file: compact, with escapes, nested objects
// and numbers beyond what a double holds exactly.
const std::string kPrefs = "{\"browser\":{\"window_placement\":{\"bottom\":1034,\"left\":10}},"
                           "\"download\":{\"directory\":\"/home/u/T\\u00e9l\\u00e9chargements\"},"
                           "\"intl\":{\"accept_languages\":\"fr-FR,fr\"},\"list\":[1,{\"a\":\"}\"},[]],"
                           "\"session\":{\"restore_on_startup\":1},\"zoom\":1.25,\"big\":13345678901234567891}";

class ChromiumPrefsTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) { return dir.WriteFile("Preferences", content); }
    std::string Prefs() const { return dir.ReadFile("Preferences"); }

    TempDir dir;
};

TEST_F(ChromiumPrefsTest, SettingAndRemovingTheValueKeepsEveryOtherByte)
{
    // No "webrtc" member: one is added in front, and removing it gives the very bytes back.
    std::optional<std::string> set = WithWebRtcPolicy(kPrefs, kOurs);
    ASSERT_TRUE(set);
    EXPECT_EQ("{\"webrtc\":{\"ip_handling_policy\":" + kOurs + "}," + kPrefs.substr(1), *set);
    EXPECT_EQ(kOurs, ReadWebRtcPolicy(*set).policy.value_or(""));
    EXPECT_EQ(kPrefs, WithWebRtcPolicy(*set, std::nullopt, true).value_or(""));

    // A "webrtc" member with other keys, pretty-printed: only the one value changes.
    const std::string spaced = "{\n  \"a\": 1,\n  \"webrtc\": {\n    \"multiple_routes_enabled\": false,\n"
                               "    \"ip_handling_policy\": \"default\"\n  }\n}\n";
    set = WithWebRtcPolicy(spaced, kOurs);
    ASSERT_TRUE(set);
    std::string expected = spaced;
    expected.replace(expected.find("\"default\""), 9, kOurs);
    EXPECT_EQ(expected, *set);
    EXPECT_EQ(spaced, WithWebRtcPolicy(*set, std::string("\"default\"")).value_or(""));
    // Removed again, the member leaves with its comma and the other key stays.
    EXPECT_EQ("{\n  \"a\": 1,\n  \"webrtc\": {\n    \"multiple_routes_enabled\": false\n  }\n}\n",
              WithWebRtcPolicy(*set, std::nullopt, true).value_or(""));

    // An empty "webrtc" object gets the value; without dropEmptyWebRtc it stays when emptied.
    set = WithWebRtcPolicy("{\"webrtc\":{}}", kOurs);
    EXPECT_EQ("{\"webrtc\":{\"ip_handling_policy\":" + kOurs + "}}", set.value_or(""));
    EXPECT_EQ("{\"webrtc\":{}}", WithWebRtcPolicy(*set, std::nullopt).value_or(""));
    EXPECT_EQ("{\"webrtc\":{\"ip_handling_policy\":" + kOurs + "}}", WithWebRtcPolicy("{}", kOurs).value_or(""));
}

TEST_F(ChromiumPrefsTest, RefusesWhatItCannotChangeCleanly)
{
    for (const std::string& text : {std::string(), std::string("[]"), std::string("\"x\""), std::string("{\"a\":"),
                                    std::string("{\"webrtc\":\"x\"}"), std::string("{\"webrtc\":{},\"webrtc\":{}}")})
        EXPECT_FALSE(WithWebRtcPolicy(text, kOurs)) << text;
    EXPECT_FALSE(ReadWebRtcPolicy("[{}]").isObject);

    // Nothing is written (no backup either) for a file that is not an object.
    Write("[1,2]");
    EXPECT_EQ(PrefsWrite::NotAnObject, WriteWebRtcPolicy(dir.File("Preferences"), kOurs));
    EXPECT_EQ("[1,2]", Prefs());
    EXPECT_FALSE(fs::exists(dir.File("Preferences.bkp")));
    EXPECT_EQ(PrefsWrite::Unreadable, WriteWebRtcPolicy(dir.File("missing"), kOurs));

    // A value a MAC guards is left alone: Chromium would take the profile for tampered with.
    const std::string guarded =
        "{\"protection\":{\"macs\":{\"webrtc\":{\"ip_handling_policy\":\"AB12\"}}},\"webrtc\":{}}";
    EXPECT_TRUE(ReadWebRtcPolicy(guarded).protectedByMac);
    Write(guarded);
    EXPECT_EQ(PrefsWrite::Protected, WriteWebRtcPolicy(dir.File("Preferences"), kOurs));
    EXPECT_EQ(guarded, Prefs());
}

TEST_F(ChromiumPrefsTest, WritesThroughABackupAndKeepsTheMode)
{
    const std::string path = Write(kPrefs);
    chmod(path.c_str(), 0640);
    EXPECT_EQ(PrefsWrite::Written, WriteWebRtcPolicy(path, kOurs));
    EXPECT_EQ(kPrefs, dir.ReadFile("Preferences.bkp"));
    EXPECT_EQ(kOurs, ReadWebRtcPolicy(Prefs()).policy.value_or(""));
    struct stat info = {};
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    EXPECT_EQ(PrefsWrite::Unchanged, WriteWebRtcPolicy(path, kOurs));

    EXPECT_EQ(PrefsWrite::Written, WriteWebRtcPolicy(path, std::nullopt, true));
    EXPECT_EQ(kPrefs, Prefs());
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(2, files);  // no temporary file left
}

}  // namespace
