#include "settings/setting.h"

#include <algorithm>
#include <cstdio>

#include "data/countrycatalogue.h"
#include "data/tabstdiofile.h"
#include "service/serviceendpoints.h"

namespace {

// A written line holds at most 254 characters, its key and tab included: a
// longer text would be dropped on saving and cost the sections after it on
// loading, so texts are limited to what fits beside their key.
constexpr int kLongestLine = 254;
constexpr int TextRoom(const char* key)
{
    int length = 0;
    while (key[length])
        ++length;
    return kLongestLine - length - 1;
}

struct KeyEntry {
    SettingKey key;
    SettingKeyInfo info;
};

constexpr KeyEntry kKeys[] = {
    {SettingKey::Elite, {"Elite", 0, 1, 1}},
    {SettingKey::Anonymous, {"Anonymous", 0, 1, 1}},
    {SettingKey::Transparent, {"Transparent", 0, 1, 0}},
    {SettingKey::AllCountries, {"AllCountries", 0, 1, 1}},
    {SettingKey::TestType, {"Test Type", 0, 2, 2}},
    {SettingKey::TestThreadCount, {"Test Thread Count", 5, 30, 10}},
    {SettingKey::TestTimeoutSeconds, {"Test Timeout Second", 5, 30, 20}},
    {SettingKey::CorrectValue, {"Correct Value", 0, TextRoom("Correct Value"), 0}},  // 240
    {SettingKey::TestUrl, {"URL", 0, TextRoom("URL"), 0}},                           // 250
    {SettingKey::Firefox, {"Firefox", 0, 1, 0}},
    {SettingKey::SwitchRatio, {"Ratio", 20, 100, 30}},
    {SettingKey::SwitchInterval, {"Interval", 1, 100, 2}},
    {SettingKey::ReplaceByGet, {"ReplacebyGet", 0, 1, 1}},
    {SettingKey::ReplaceByImport, {"ReplacebyImport", 0, 1, 1}},
};

const char* const kAnonymousHeader = "Anonymous_Type:";
const char* const kCountryHeader = "Country:";
const char* const kTestHeader = "Test:";
const char* const kSwitchHeader = "Switch:";
const char* const kMiscHeader = "Misc:";
const char kEndOfCountry[] = "EndOfCountry";

const char* Name(SettingKey key)
{
    return SettingInfo(key).name;
}

// A key line "key TAB value": the key must not end its line and must be the
// expected one; the value must end the line. The key is checked before it is
// taken, so that a foreign line stays unread.
bool ReadKeyLine(CTabStdioFile& file, SettingKey key, std::string& value)
{
    std::string field;
    return file.FieldEquals(Name(key)) && file.ReadField(field, false) && file.ReadField(value, true);
}

bool ReadFlag(CTabStdioFile& file, SettingKey key, bool& value)
{
    std::string text;
    if (!ReadKeyLine(file, key, text))
        return false;
    value = text != "0";
    return true;
}

// Accepted only within the key's range.
bool ReadNumber(CTabStdioFile& file, SettingKey key, int& value)
{
    std::string text;
    if (!ReadKeyLine(file, key, text))
        return false;
    value = CTabStdioFile::ToInt(text);
    return value >= SettingInfo(key).low && value <= SettingInfo(key).high;
}

// Control characters never reach the file: a tab or a line break would
// split the line (and the field writer drops such a line), the others are
// never part of an address or a page's text.
std::string WithoutControls(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }),
               text.end());
    return text;
}

// A text longer than its line can carry when written back is read as empty,
// so that it alone takes its default and the lines after it still count.
bool ReadText(CTabStdioFile& file, SettingKey key, std::string& value)
{
    if (!ReadKeyLine(file, key, value))
        return false;
    value = WithoutControls(value);
    if (value.size() > static_cast<size_t>(SettingInfo(key).high))
        value.clear();
    return true;
}

void WriteKeyLine(CTabStdioFile& file, SettingKey key, const std::string& value)
{
    file.WriteField(Name(key), false);
    file.WriteField(WithoutControls(value), true);
}
void WriteFlag(CTabStdioFile& file, SettingKey key, bool value)
{
    WriteKeyLine(file, key, value ? "1" : "0");
}
void WriteNumber(CTabStdioFile& file, SettingKey key, int value)
{
    WriteKeyLine(file, key, std::to_string(value));
}

bool Default(SettingKey key)
{
    return SettingInfo(key).defaultNumber != 0;
}
int DefaultNumber(SettingKey key)
{
    return SettingInfo(key).defaultNumber;
}

bool ReadAnonymous(CTabStdioFile& file, CSettingAnonymousItem& item)
{
    return ReadFlag(file, SettingKey::Elite, item.elite) && ReadFlag(file, SettingKey::Anonymous, item.anonymous)
           && ReadFlag(file, SettingKey::Transparent, item.transparent)
           && (item.elite || item.anonymous || item.transparent);  // wanting no type at all is not a choice
}

// One bare line per country; the flags only count when their number matches
// the catalogue, so a catalogue that changed size gives defaults.
bool ReadCountry(CTabStdioFile& file, CSettingCountryItem& item)
{
    if (!ReadFlag(file, SettingKey::AllCountries, item.allCountries))
        return false;
    size_t lines = 0;
    std::string text;
    while (lines < item.countryFlags.size() && !file.FieldEquals(kEndOfCountry) && file.ReadField(text, true))
        item.countryFlags[lines++] = text != "0";
    return file.FieldEquals(kEndOfCountry) && file.ReadField(text, true) && lines == item.countryFlags.size();
}

bool ReadSwitch(CTabStdioFile& file, CSettingSwitchItem& item)
{
    return ReadFlag(file, SettingKey::Firefox, item.firefox) && ReadNumber(file, SettingKey::SwitchRatio, item.ratio)
           && ReadNumber(file, SettingKey::SwitchInterval, item.interval);
}

bool ReadMisc(CTabStdioFile& file, CSettingMiscItem& item)
{
    return ReadFlag(file, SettingKey::ReplaceByGet, item.replaceByGet)
           && ReadFlag(file, SettingKey::ReplaceByImport, item.replaceByImport);
}

}  // namespace

const SettingKeyInfo& SettingInfo(SettingKey key)
{
    for (const KeyEntry& entry : kKeys)
        if (entry.key == key)
            return entry.info;
    return kKeys[0].info;  // every key is in the table
}

bool CSettingTestItem::Read(CTabStdioFile& file)
{
    std::string type;
    if (!ReadKeyLine(file, SettingKey::TestType, type))
        return false;
    testType = type == "0" ? TestType::None : type == "1" ? TestType::Availability : TestType::Speed;
    return ReadNumber(file, SettingKey::TestThreadCount, threadCount)
           && ReadNumber(file, SettingKey::TestTimeoutSeconds, timeoutSeconds)
           && ReadText(file, SettingKey::CorrectValue, correctValue) && ReadText(file, SettingKey::TestUrl, testUrl);
}

CSetting::CSetting(std::string path) : path_(std::move(path)) {}

CSetting::~CSetting() = default;

void CSetting::SetTestTargetSource(TestTargetSource source)
{
    testTarget_ = std::move(source);
}

void CSetting::SetChangedCallback(std::function<void()> changed)
{
    changed_ = std::move(changed);
}

void CSetting::Changed()
{
    if (changed_)
        changed_();
}

bool CSetting::SettingFileExists() const
{
    CTabStdioFile file;
    const bool exists = file.Open(path_, CTabStdioFile::modeRead);
    file.Close();
    return exists;
}

void CSetting::DefaultAnonymous()
{
    anonymous_ = {Default(SettingKey::Elite), Default(SettingKey::Anonymous), Default(SettingKey::Transparent)};
}

void CSetting::DefaultCountry()
{
    country_.allCountries = Default(SettingKey::AllCountries);
    country_.countryFlags.assign(static_cast<size_t>(std::max(0, GetCountryCatalogue().Count())), 0);
}

void CSetting::DefaultTest()
{
    test_.testType = static_cast<TestType>(DefaultNumber(SettingKey::TestType));
    test_.threadCount = DefaultNumber(SettingKey::TestThreadCount);
    test_.timeoutSeconds = DefaultNumber(SettingKey::TestTimeoutSeconds);
    DefaultTestPage();
}

void CSetting::DefaultTestPage()
{
    DefaultTestTarget target = testTarget_ ? testTarget_() : DefaultTestTarget{};
    if (target.url.empty() || target.expected.empty())
        target = {FallbackTestUrl(), "engine"};
    else
        serviceTarget_ = target;
    test_.testUrl = target.url;
    test_.correctValue = target.expected;
}

void CSetting::DefaultSwitch()
{
    switch_ = {Default(SettingKey::Firefox), DefaultNumber(SettingKey::SwitchRatio),
               DefaultNumber(SettingKey::SwitchInterval)};
}

void CSetting::DefaultMisc()
{
    misc_ = {Default(SettingKey::ReplaceByGet), Default(SettingKey::ReplaceByImport)};
}

void CSetting::Load()
{
    // Which sections were read whole; the others take their defaults.
    bool anonymousRead = false, countryRead = false, testRead = false, switchRead = false, miscRead = false;
    DefaultCountry();  // sizes the flags from the catalogue
    CTabStdioFile file;
    if (file.Open(path_, CTabStdioFile::modeRead)) {
        // Sections may come in any order; a repeated header replaces the
        // earlier section. Reading stops at the first line that is not a header.
        std::string field;
        while (file.ReadField(field, true)) {
            if (field == kAnonymousHeader) {
                anonymousRead = ReadAnonymous(file, anonymous_);
            } else if (field == kCountryHeader) {
                DefaultCountry();
                countryRead = ReadCountry(file, country_);
            } else if (field == kTestHeader) {
                testRead = test_.Read(file);
            } else if (field == kSwitchHeader) {
                switchRead = ReadSwitch(file, switch_);
            } else if (field == kMiscHeader) {
                miscRead = ReadMisc(file, misc_);
            } else {
                break;
            }
        }
        file.Close();
    }
    ReadServiceTarget();
    if (!anonymousRead)
        DefaultAnonymous();
    if (!countryRead)
        DefaultCountry();
    if (!testRead)
        DefaultTest();
    else if (test_.testUrl.empty() || test_.correctValue.empty())
        DefaultTestPage();  // the page and its text only make sense as a pair
    if (!switchRead)
        DefaultSwitch();
    if (!miscRead)
        DefaultMisc();
    loaded_ = true;
    Changed();
}

void CSetting::CreateDefaults()
{
    loaded_ = false;  // so that the reset gives the Misc section its defaults too
    ResetToDefaults();
}

void CSetting::ResetToDefaults()
{
    DefaultAnonymous();
    DefaultCountry();
    DefaultTest();
    DefaultSwitch();
    if (!loaded_)
        DefaultMisc();
    loaded_ = true;
    Changed();
}

void CSetting::ResetTestSection()
{
    DefaultTest();
    Changed();
}

bool CSetting::Save()
{
    if (!loaded_)
        return false;
    // Write beside the file and rename over it, so that a failed write never
    // leaves a truncated settings file behind.
    const std::string temporary = path_ + ".tmp";
    CTabStdioFile file;
    if (!file.Open(temporary, CTabStdioFile::modeCreate))
        return false;
    file.WriteField(kAnonymousHeader, true);
    WriteFlag(file, SettingKey::Elite, anonymous_.elite);
    WriteFlag(file, SettingKey::Anonymous, anonymous_.anonymous);
    WriteFlag(file, SettingKey::Transparent, anonymous_.transparent);
    file.WriteField(kCountryHeader, true);
    WriteFlag(file, SettingKey::AllCountries, country_.allCountries);
    for (unsigned char flag : country_.countryFlags)
        file.WriteField(flag ? "1" : "0", true);
    file.WriteField(kEndOfCountry, true);
    file.WriteField(kTestHeader, true);
    WriteNumber(file, SettingKey::TestType, static_cast<int>(test_.testType));
    WriteNumber(file, SettingKey::TestThreadCount, test_.threadCount);
    WriteNumber(file, SettingKey::TestTimeoutSeconds, test_.timeoutSeconds);
    WriteKeyLine(file, SettingKey::CorrectValue, test_.correctValue);
    WriteKeyLine(file, SettingKey::TestUrl, test_.testUrl);
    file.WriteField(kSwitchHeader, true);
    WriteFlag(file, SettingKey::Firefox, switch_.firefox);
    WriteNumber(file, SettingKey::SwitchRatio, switch_.ratio);
    WriteNumber(file, SettingKey::SwitchInterval, switch_.interval);
    file.WriteField(kMiscHeader, true);
    WriteFlag(file, SettingKey::ReplaceByGet, misc_.replaceByGet);
    WriteFlag(file, SettingKey::ReplaceByImport, misc_.replaceByImport);
    file.Close();
    if (file.Failed() || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    WriteServiceTarget();
    Changed();
    return true;
}

bool CSetting::TestTargetFollowsService() const
{
    const DefaultTestTarget current{test_.testUrl, test_.correctValue};
    return current == serviceTarget_ || current == DefaultTestTarget{FallbackTestUrl(), "engine"};
}

bool CSetting::FollowServiceTestTarget(const DefaultTestTarget& service)
{
    // A text longer than its line in the file could carry is never taken.
    if (!loaded_ || service.url.empty() || service.expected.empty()
        || service.url.size() > static_cast<size_t>(SettingInfo(SettingKey::TestUrl).high)
        || service.expected.size() > static_cast<size_t>(SettingInfo(SettingKey::CorrectValue).high))
        return false;
    if (service == DefaultTestTarget{test_.testUrl, test_.correctValue}) {
        if (!(serviceTarget_ == service)) {  // typed the service's own: it follows from now on
            serviceTarget_ = service;
            WriteServiceTarget();
        }
        return false;
    }
    if (!TestTargetFollowsService())
        return false;
    test_.testUrl = service.url;
    test_.correctValue = service.expected;
    serviceTarget_ = service;
    Save();
    return true;
}

std::string CSetting::ServiceTargetPath() const
{
    const size_t slash = path_.rfind('/');
    return (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + kServiceTargetFileName;
}

void CSetting::ReadServiceTarget()
{
    serviceTarget_ = {};
    CTabStdioFile file;
    if (!file.Open(ServiceTargetPath(), CTabStdioFile::modeRead))
        return;
    DefaultTestTarget target;
    if (ReadText(file, SettingKey::TestUrl, target.url) && ReadText(file, SettingKey::CorrectValue, target.expected))
        serviceTarget_ = target;
    file.Close();
}

void CSetting::WriteServiceTarget() const
{
    if (serviceTarget_.url.empty()) {
        std::remove(ServiceTargetPath().c_str());
        return;
    }
    CTabStdioFile file;
    if (!file.Open(ServiceTargetPath(), CTabStdioFile::modeCreate))
        return;  // then the next start takes the target for the user's own
    WriteKeyLine(file, SettingKey::TestUrl, serviceTarget_.url);
    WriteKeyLine(file, SettingKey::CorrectValue, serviceTarget_.expected);
    file.Close();
}

void CSetting::ResetForTest()
{
    *this = CSetting(path_);
}

CSetting& GetSetting()
{
    static CSetting setting;
    return setting;
}
