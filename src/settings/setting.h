#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CTabStdioFile;

constexpr const char* kSettingFileName = "setting.nbx";
// Beside the settings file: the test page and text the service gave last.
constexpr const char* kServiceTargetFileName = "servicetarget.nbx";

// Every value of the settings file with a fixed key. The table behind
// SettingInfo gives each its key in the file, its accepted range (for texts
// the longest length) and its default, in one place.
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
    const char* name;   // "Test Thread Count"
    int low;            // smallest number accepted (texts: 0)
    int high;           // largest number accepted (texts: the longest length)
    int defaultNumber;  // default of a number or flag (texts have theirs elsewhere)
};
const SettingKeyInfo& SettingInfo(SettingKey key);

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

// The test page and the text it must contain that the test section's
// defaults take: the service's test target, asked only when a default is needed.
struct DefaultTestTarget {
    std::string url;
    std::string expected;
    bool operator==(const DefaultTestTarget& other) const { return url == other.url && expected == other.expected; }
};
using TestTargetSource = std::function<DefaultTestTarget()>;

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
    // Told after the settings were loaded, reset or saved.
    void SetChangedCallback(std::function<void()> changed);

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

    // nullptr until the settings are loaded or created.
    CSettingAnonymousItem* GetAnonymousItem() { return Loaded(anonymous_); }
    CSettingCountryItem* GetCountryItem() { return Loaded(country_); }
    CSettingTestItem* GetTestItem() { return Loaded(test_); }
    CSettingSwitchItem* GetSwitchItem() { return Loaded(switch_); }
    CSettingMiscItem* GetMiscItem() { return Loaded(misc_); }

    // Back to empty and not loaded, as at process start.
    void ResetForTest();

private:
    template <typename Section>
    Section* Loaded(Section& section)
    {
        return loaded_ ? &section : nullptr;
    }
    void DefaultAnonymous();
    void DefaultCountry();
    void DefaultTest();
    void DefaultTestPage();  // the test URL and its expected text
    void DefaultSwitch();
    void DefaultMisc();
    void Changed();
    std::string ServiceTargetPath() const;
    void ReadServiceTarget();
    void WriteServiceTarget() const;

    std::string path_;
    TestTargetSource testTarget_;
    std::function<void()> changed_;
    bool loaded_ = false;
    CSettingAnonymousItem anonymous_;
    CSettingCountryItem country_;
    CSettingTestItem test_;
    CSettingSwitchItem switch_;
    CSettingMiscItem misc_;
    DefaultTestTarget serviceTarget_;  // the service's target the test section took last; empty: none
};

CSetting& GetSetting();
