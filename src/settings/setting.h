#pragma once

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

class CTabStdioFile;

constexpr const char* kSettingFileName = "setting.nbx";
// Beside the settings file: the test page and text the service gave last.
constexpr const char* kServiceTargetFileName = "servicetarget.nbx";

// The five sections of the settings file, in file order.
enum class SettingSection { Anonymous, Country, Test, Switch, Misc };
constexpr int kSettingSectionCount = 5;

// Every value of the settings file with a fixed key, in file order. The key
// table behind SettingInfo gives each its key in the file, its section, its
// accepted range (for texts the longest length), its default and where it
// is kept; loading, saving, defaults and the typed access below all walk it.
enum class SettingKey {
    Elite,
    Anonymous,
    Transparent,
    AllCountries,
    TestType,
    TestThreadCount,
    TestTimeoutSeconds,
    CorrectValue,
    TestUrl,
    Firefox,
    SwitchRatio,
    SwitchInterval,
    ReplaceByGet,
    ReplaceByImport,
};

struct SettingKeyInfo {
    const char* name;        // "Test Thread Count"
    SettingSection section;  // the section whose body holds the key line
    int low;                 // smallest number accepted (texts: 0)
    int high;                // largest number accepted (texts: the longest length)
    int defaultNumber;       // default of a number or flag (texts have theirs elsewhere)
};
const SettingKeyInfo& SettingInfo(SettingKey key);

// What a change notice names: one key set on its own, or a whole section
// (loaded, or reset to its defaults) when key is empty.
struct SettingChange {
    SettingSection section;
    std::optional<SettingKey> key;
};

enum class TestType { None = 0, Availability = 1, Speed = 2 };

// "Anonymous_Type:": which anonymity types of proxy are wanted.
struct CSettingAnonymousItem {
    bool elite = true;
    bool anonymous = true;
    bool transparent = false;
};

// "Country:": which countries are wanted, one flag per country of the
// country catalogue, in catalogue order.
struct CSettingCountryItem {
    bool allCountries = true;
    std::vector<unsigned char> countryFlags;  // 1 = wanted
};

// "Test:": how proxies are tested. Test threads read it during a run.
struct CSettingTestItem {
    TestType testType = TestType::Speed;
    int threadCount = 10;      // jobs of a run side by side
    int timeoutSeconds = 20;   // time allowed per proxy
    std::string correctValue;  // text a good test page contains
    std::string testUrl;       // page fetched through each proxy

    // Reads the section body that follows its header line; false when a
    // line is missing or a value is out of range.
    bool Read(CTabStdioFile& file);
};

// "Switch:": whether Firefox follows the system proxy, and the proxy
// switching parameters.
struct CSettingSwitchItem {
    bool firefox = false;
    int ratio = 30;    // percent
    int interval = 2;  // minutes
};

// "Misc:": the remembered "Replace or Append" choices.
struct CSettingMiscItem {
    bool replaceByGet = true;
    bool replaceByImport = true;
};

// Test page used when the service gives no test target: the home page of a
// public search engine, which contains the word "engine".
const char* FallbackTestUrl();

// The test page and the text it must contain that the test section's
// defaults take: the service's test target, asked only when a default is needed.
struct DefaultTestTarget {
    std::string url;
    std::string expected;
    bool operator==(const DefaultTestTarget& other) const { return url == other.url && expected == other.expected; }
};
using TestTargetSource = std::function<DefaultTestTarget()>;

// The sections in SettingSection order; the values before loading are the
// key table's defaults (the texts and country flags empty).
using CSettingSections =
    std::tuple<CSettingAnonymousItem, CSettingCountryItem, CSettingTestItem, CSettingSwitchItem, CSettingMiscItem>;

// All user settings: five sections kept in "setting.nbx". The process has
// one (GetSetting) in the working folder; a test may make its own with
// another file.
class CSetting {
public:
    explicit CSetting(std::string path = kSettingFileName);
    ~CSetting();

    // Where the test section's defaults come from; by default the fallback
    // test page (FallbackTestUrl and "engine"), without asking anyone.
    void SetTestTargetSource(TestTargetSource source);
    // Told after a value changed: by a setter below (naming the key), or
    // when loading or a reset gave a section its values (once per section).
    void SetChangedCallback(std::function<void(const SettingChange&)> changed);

    bool SettingFileExists() const;
    // Reads the file; every section that is missing or fails to read takes its
    // defaults. Never fails as a whole.
    void Load();
    // Every section with its defaults, without reading the file.
    void CreateDefaults();
    // "Reset to Defaults": every section but Misc, which keeps the
    // remembered choices, takes its defaults.
    void ResetToDefaults();
    // The test section alone takes its defaults (one request for the target).
    void ResetTestSection();
    // Writes all sections to a temporary file beside the settings file and
    // renames it over; false (and the old file untouched) when that fails.
    bool Save();
    bool IsLoaded() const { return loaded_; }

    // Whether the test section's page and text came from the service (or are
    // the built-in fallback) rather than typed by the user: the service's last
    // target is kept beside the settings file, in kServiceTargetFileName.
    bool TestTargetFollowsService() const;
    // Takes the service's current target into the test section when it
    // differs and the user never typed one of their own, and saves; true when
    // the section changed.
    bool FollowServiceTestTarget(const DefaultTestTarget& service);

    // The sections, to read; they change through the setters below.
    const CSettingAnonymousItem& GetAnonymousItem() const { return std::get<CSettingAnonymousItem>(sections_); }
    const CSettingCountryItem& GetCountryItem() const { return std::get<CSettingCountryItem>(sections_); }
    const CSettingTestItem& GetTestItem() const { return std::get<CSettingTestItem>(sections_); }
    const CSettingSwitchItem& GetSwitchItem() const { return std::get<CSettingSwitchItem>(sections_); }
    const CSettingMiscItem& GetMiscItem() const { return std::get<CSettingMiscItem>(sections_); }

    // One value by its key. Flags read as 0 and 1 through Number, the test
    // type as its number; Text is empty for a key that is no text.
    bool Flag(SettingKey key) const { return Number(key) != 0; }
    int Number(SettingKey key) const;
    const std::string& Text(SettingKey key) const;
    // Each tells the change callback when the value changed. False, and
    // nothing changed, for a number outside the key's range, a text longer
    // than its line can carry, or a key of another kind.
    bool SetFlag(SettingKey key, bool value) { return SetNumber(key, value ? 1 : 0); }
    bool SetNumber(SettingKey key, int value);
    bool SetText(SettingKey key, const std::string& value);
    // Whether the country of that catalogue index is wanted; false for an
    // index the catalogue does not have.
    bool SetCountryFlag(size_t index, bool wanted);

    // Back to empty and not loaded, as at process start.
    void ResetForTest();

private:
    CSettingTestItem& Test() { return std::get<CSettingTestItem>(sections_); }
    CSettingCountryItem& Country() { return std::get<CSettingCountryItem>(sections_); }
    bool ReadSection(CTabStdioFile& file, SettingSection section);
    void WriteSection(CTabStdioFile& file, SettingSection section) const;
    void DefaultSection(SettingSection section);
    void DefaultCountryFlags();  // one unwanted country per catalogue entry
    void DefaultTestPage();      // the test URL and its expected text
    void Changed(SettingSection section, std::optional<SettingKey> key = std::nullopt);
    std::string ServiceTargetPath() const;
    void ReadServiceTarget();
    void WriteServiceTarget() const;

    std::string path_;
    TestTargetSource testTarget_;
    std::function<void(const SettingChange&)> changed_;
    bool loaded_ = false;
    CSettingSections sections_;
    DefaultTestTarget serviceTarget_;  // the service's target the test section took last; empty: none
};

CSetting& GetSetting();
