#include "settings/setting.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <type_traits>

#include "data/countrycatalogue.h"
#include "data/tabstdiofile.h"

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

// How a value is read from and written to its line.
enum class Kind {
    Flag,    // "0" is false, any other text true; written "1" or "0"
    Number,  // decimal, outside its range the section fails to read
    Choice,  // one of the decimals of its range exactly, any other text the default
    Text,    // up to its longest length; longer reads as empty
};

template <typename Member>
struct MemberTraits;
template <typename Value, typename Item>
struct MemberTraits<Value Item::*> {
    using ValueType = Value;
    using ItemType = Item;
};

template <typename Item, size_t index = 0>
constexpr SettingSection SectionOf()
{
    if constexpr (std::is_same_v<Item, std::tuple_element_t<index, CSettingSections>>)
        return static_cast<SettingSection>(index);
    else
        return SectionOf<Item, index + 1>();
}

template <auto member>
using ItemOf = typename MemberTraits<decltype(member)>::ItemType;
template <auto member>
using ValueOf = typename MemberTraits<decltype(member)>::ValueType;

// Flags, numbers and the test type, as numbers.
template <auto member>
int GetNumber(const CSettingSections& sections)
{
    return static_cast<int>(std::get<ItemOf<member>>(sections).*member);
}
template <auto member>
void PutNumber(CSettingSections& sections, int value)
{
    std::get<ItemOf<member>>(sections).*member = static_cast<ValueOf<member>>(value);
}
template <auto member>
const std::string& GetText(const CSettingSections& sections)
{
    return std::get<ItemOf<member>>(sections).*member;
}
template <auto member>
void PutText(CSettingSections& sections, const std::string& value)
{
    std::get<ItemOf<member>>(sections).*member = value;
}

struct KeyEntry {
    SettingKey key;
    SettingKeyInfo info;
    Kind kind;
    // Where the value is kept: the numbers for every kind but Text.
    int (*number)(const CSettingSections&);
    void (*putNumber)(CSettingSections&, int);
    const std::string& (*text)(const CSettingSections&);
    void (*putText)(CSettingSections&, const std::string&);
};

// One key of the table: its member in its section's item gives the section
// and the kind.
template <auto member>
constexpr KeyEntry Key(SettingKey key, const char* name, int low, int high, int defaultNumber)
{
    using Value = ValueOf<member>;
    const SettingKeyInfo info{name, SectionOf<ItemOf<member>>(), low, high, defaultNumber};
    if constexpr (std::is_same_v<Value, std::string>)
        return {key, info, Kind::Text, nullptr, nullptr, &GetText<member>, &PutText<member>};
    else
        return {key,
                info,
                std::is_same_v<Value, bool> ? Kind::Flag
                : std::is_enum_v<Value>     ? Kind::Choice
                                            : Kind::Number,
                &GetNumber<member>,
                &PutNumber<member>,
                nullptr,
                nullptr};
}

// In file order: a section's key lines in this order, the sections in
// SettingSection order.
constexpr KeyEntry kKeys[] = {
    Key<&CSettingAnonymousItem::elite>(SettingKey::Elite, "Elite", 0, 1, 1),
    Key<&CSettingAnonymousItem::anonymous>(SettingKey::Anonymous, "Anonymous", 0, 1, 1),
    Key<&CSettingAnonymousItem::transparent>(SettingKey::Transparent, "Transparent", 0, 1, 0),
    Key<&CSettingCountryItem::allCountries>(SettingKey::AllCountries, "AllCountries", 0, 1, 1),
    Key<&CSettingTestItem::testType>(SettingKey::TestType, "Test Type", 0, 2, 2),
    Key<&CSettingTestItem::threadCount>(SettingKey::TestThreadCount, "Test Thread Count", 5, 30, 10),
    Key<&CSettingTestItem::timeoutSeconds>(SettingKey::TestTimeoutSeconds, "Test Timeout Second", 5, 30, 20),
    Key<&CSettingTestItem::correctValue>(SettingKey::CorrectValue, "Correct Value", 0, TextRoom("Correct Value"),
                                         0),                                             // 240
    Key<&CSettingTestItem::testUrl>(SettingKey::TestUrl, "URL", 0, TextRoom("URL"), 0),  // 250
    Key<&CSettingSwitchItem::firefox>(SettingKey::Firefox, "Firefox", 0, 1, 0),
    Key<&CSettingSwitchItem::ratio>(SettingKey::SwitchRatio, "Ratio", 20, 100, 30),
    Key<&CSettingSwitchItem::interval>(SettingKey::SwitchInterval, "Interval", 1, 100, 2),
    Key<&CSettingMiscItem::replaceByGet>(SettingKey::ReplaceByGet, "ReplacebyGet", 0, 1, 1),
    Key<&CSettingMiscItem::replaceByImport>(SettingKey::ReplaceByImport, "ReplacebyImport", 0, 1, 1),
};

constexpr bool InFileOrder()
{
    for (size_t i = 0; i < std::size(kKeys); ++i)
        if (static_cast<size_t>(kKeys[i].key) != i || (i > 0 && kKeys[i].info.section < kKeys[i - 1].info.section))
            return false;
    return true;
}
static_assert(InFileOrder(), "the key table lists every key in SettingKey order, section by section");

// The header lines, in SettingSection order.
const char* const kHeaders[kSettingSectionCount] = {"Anonymous_Type:", "Country:", "Test:", "Switch:", "Misc:"};
const char kEndOfCountry[] = "EndOfCountry";

const KeyEntry& Entry(SettingKey key)
{
    return kKeys[static_cast<size_t>(key)];
}

// A key line "key TAB value": the key must not end its line and must be the
// expected one; the value must end the line. The key is checked before it is
// taken, so that a foreign line stays unread.
bool ReadKeyLine(CTabStdioFile& file, SettingKey key, std::string& value)
{
    std::string field;
    return file.FieldEquals(SettingInfo(key).name) && file.ReadField(field, false) && file.ReadField(value, true);
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

// The value of a flag, number or choice line; false when a number lies
// outside its range.
bool ParseNumber(const KeyEntry& entry, const std::string& text, int& value)
{
    const SettingKeyInfo& info = entry.info;
    switch (entry.kind) {
    case Kind::Flag: value = text != "0"; return true;
    case Kind::Choice:
        value = info.defaultNumber;
        for (int choice = info.low; choice <= info.high; ++choice)
            if (text == std::to_string(choice))
                value = choice;
        return true;
    default: value = CTabStdioFile::ToInt(text); return value >= info.low && value <= info.high;
    }
}

void WriteKeyLine(CTabStdioFile& file, SettingKey key, const std::string& value)
{
    file.WriteField(SettingInfo(key).name, false);
    file.WriteField(WithoutControls(value), true);
}

// The key lines of a section's body, in table order; false at the first line
// that is missing or out of range (the values before it stay).
bool ReadKeys(CTabStdioFile& file, SettingSection section, CSettingSections& sections)
{
    for (const KeyEntry& entry : kKeys) {
        if (entry.info.section != section)
            continue;
        std::string text;
        if (entry.kind == Kind::Text) {
            if (!ReadText(file, entry.key, text))
                return false;
            entry.putText(sections, text);
            continue;
        }
        int value = 0;
        if (!ReadKeyLine(file, entry.key, text) || !ParseNumber(entry, text, value))
            return false;
        entry.putNumber(sections, value);
    }
    return true;
}

bool FitsText(SettingKey key, const std::string& text)
{
    return text.size() <= static_cast<size_t>(SettingInfo(key).high);
}

}  // namespace

const char* FallbackTestUrl()
{
    return "https://duckduckgo.com/";
}

const SettingKeyInfo& SettingInfo(SettingKey key)
{
    return Entry(key).info;
}

bool CSettingTestItem::Read(CTabStdioFile& file)
{
    CSettingSections sections;
    std::get<CSettingTestItem>(sections) = *this;
    const bool read = ReadKeys(file, SettingSection::Test, sections);
    *this = std::get<CSettingTestItem>(sections);
    return read;
}

CSetting::CSetting(std::string path) : path_(std::move(path)) {}

CSetting::~CSetting() = default;

void CSetting::SetTestTargetSource(TestTargetSource source)
{
    testTarget_ = std::move(source);
}

void CSetting::SetChangedCallback(std::function<void(const SettingChange&)> changed)
{
    changed_ = std::move(changed);
}

void CSetting::Changed(SettingSection section, std::optional<SettingKey> key)
{
    if (changed_)
        changed_(SettingChange{section, key});
}

int CSetting::Number(SettingKey key) const
{
    const KeyEntry& entry = Entry(key);
    return entry.number ? entry.number(sections_) : 0;
}

const std::string& CSetting::Text(SettingKey key) const
{
    static const std::string none;
    const KeyEntry& entry = Entry(key);
    return entry.text ? entry.text(sections_) : none;
}

bool CSetting::SetNumber(SettingKey key, int value)
{
    const KeyEntry& entry = Entry(key);
    if (!entry.putNumber || value < entry.info.low || value > entry.info.high)
        return false;
    if (entry.number(sections_) != value) {
        entry.putNumber(sections_, value);
        Changed(entry.info.section, key);
    }
    return true;
}

bool CSetting::SetText(SettingKey key, const std::string& value)
{
    const KeyEntry& entry = Entry(key);
    if (!entry.putText || !FitsText(key, value))
        return false;
    if (entry.text(sections_) != value) {
        entry.putText(sections_, value);
        Changed(entry.info.section, key);
    }
    return true;
}

bool CSetting::SetCountryFlag(size_t index, bool wanted)
{
    std::vector<unsigned char>& flags = Country().countryFlags;
    if (index >= flags.size())
        return false;
    if ((flags[index] != 0) != wanted) {
        flags[index] = wanted;
        Changed(SettingSection::Country);
    }
    return true;
}

bool CSetting::SettingFileExists() const
{
    CTabStdioFile file;
    const bool exists = file.Open(path_, CTabStdioFile::modeRead);
    file.Close();
    return exists;
}

void CSetting::DefaultCountryFlags()
{
    Country().countryFlags.assign(static_cast<size_t>(std::max(0, GetCountryCatalogue().Count())), 0);
}

void CSetting::DefaultSection(SettingSection section)
{
    for (const KeyEntry& entry : kKeys)
        if (entry.info.section == section && entry.putNumber)
            entry.putNumber(sections_, entry.info.defaultNumber);
    if (section == SettingSection::Country)
        DefaultCountryFlags();
    else if (section == SettingSection::Test)
        DefaultTestPage();
}

void CSetting::DefaultTestPage()
{
    DefaultTestTarget target = testTarget_ ? testTarget_() : DefaultTestTarget{};
    if (target.url.empty() || target.expected.empty())
        target = {FallbackTestUrl(), "engine"};
    else
        serviceTarget_ = target;
    Test().testUrl = target.url;
    Test().correctValue = target.expected;
}

bool CSetting::ReadSection(CTabStdioFile& file, SettingSection section)
{
    if (!ReadKeys(file, section, sections_))
        return false;
    if (section == SettingSection::Anonymous) {
        // Wanting no type at all is not a choice.
        const CSettingAnonymousItem& item = GetAnonymousItem();
        return item.elite || item.anonymous || item.transparent;
    }
    if (section != SettingSection::Country)
        return true;
    // One bare line per country; the flags only count when their number
    // matches the catalogue, so a catalogue that changed size gives defaults.
    DefaultCountryFlags();
    std::vector<unsigned char>& flags = Country().countryFlags;
    size_t lines = 0;
    std::string text;
    while (lines < flags.size() && !file.FieldEquals(kEndOfCountry) && file.ReadField(text, true))
        flags[lines++] = text != "0";
    return file.FieldEquals(kEndOfCountry) && file.ReadField(text, true) && lines == flags.size();
}

void CSetting::WriteSection(CTabStdioFile& file, SettingSection section) const
{
    file.WriteField(kHeaders[static_cast<size_t>(section)], true);
    for (const KeyEntry& entry : kKeys) {
        if (entry.info.section != section)
            continue;
        if (entry.kind == Kind::Text)
            WriteKeyLine(file, entry.key, entry.text(sections_));
        else if (entry.kind == Kind::Flag)
            WriteKeyLine(file, entry.key, entry.number(sections_) ? "1" : "0");
        else
            WriteKeyLine(file, entry.key, std::to_string(entry.number(sections_)));
    }
    if (section == SettingSection::Country) {
        for (unsigned char flag : GetCountryItem().countryFlags)
            file.WriteField(flag ? "1" : "0", true);
        file.WriteField(kEndOfCountry, true);
    }
}

void CSetting::Load()
{
    // Which sections were read whole; the others take their defaults.
    bool read[kSettingSectionCount] = {};
    CTabStdioFile file;
    if (file.Open(path_, CTabStdioFile::modeRead)) {
        // Sections may come in any order; a repeated header replaces the
        // earlier section. Reading stops at the first line that is not a header.
        std::string field;
        while (file.ReadField(field, true)) {
            const auto header = std::find(std::begin(kHeaders), std::end(kHeaders), field);
            if (header == std::end(kHeaders))
                break;
            const auto section = static_cast<SettingSection>(header - std::begin(kHeaders));
            read[static_cast<size_t>(section)] = ReadSection(file, section);
        }
        file.Close();
    }
    ReadServiceTarget();
    for (int index = 0; index < kSettingSectionCount; ++index) {
        const auto section = static_cast<SettingSection>(index);
        if (!read[index])
            DefaultSection(section);
        else if (section == SettingSection::Test && (Test().testUrl.empty() || Test().correctValue.empty()))
            DefaultTestPage();  // the page and its text only make sense as a pair
    }
    loaded_ = true;
    for (int index = 0; index < kSettingSectionCount; ++index)
        Changed(static_cast<SettingSection>(index));
}

void CSetting::CreateDefaults()
{
    loaded_ = false;  // so that the reset gives the Misc section its defaults too
    ResetToDefaults();
}

void CSetting::ResetToDefaults()
{
    const bool withMisc = !loaded_;
    for (int index = 0; index < kSettingSectionCount; ++index) {
        const auto section = static_cast<SettingSection>(index);
        if (section != SettingSection::Misc || withMisc)
            DefaultSection(section);
    }
    loaded_ = true;
    for (int index = 0; index < kSettingSectionCount; ++index) {
        const auto section = static_cast<SettingSection>(index);
        if (section != SettingSection::Misc || withMisc)
            Changed(section);
    }
}

void CSetting::ResetTestSection()
{
    DefaultSection(SettingSection::Test);
    Changed(SettingSection::Test);
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
    for (int index = 0; index < kSettingSectionCount; ++index)
        WriteSection(file, static_cast<SettingSection>(index));
    file.Close();
    if (file.Failed() || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    WriteServiceTarget();
    return true;
}

bool CSetting::TestTargetFollowsService() const
{
    const DefaultTestTarget current{GetTestItem().testUrl, GetTestItem().correctValue};
    return current == serviceTarget_ || current == DefaultTestTarget{FallbackTestUrl(), "engine"};
}

bool CSetting::FollowServiceTestTarget(const DefaultTestTarget& service)
{
    // A text longer than its line in the file could carry is never taken.
    if (!loaded_ || service.url.empty() || service.expected.empty() || !FitsText(SettingKey::TestUrl, service.url)
        || !FitsText(SettingKey::CorrectValue, service.expected))
        return false;
    if (service == DefaultTestTarget{Test().testUrl, Test().correctValue}) {
        if (!(serviceTarget_ == service)) {  // typed the service's own: it follows from now on
            serviceTarget_ = service;
            WriteServiceTarget();
        }
        return false;
    }
    if (!TestTargetFollowsService())
        return false;
    Test().testUrl = service.url;
    Test().correctValue = service.expected;
    serviceTarget_ = service;
    Changed(SettingSection::Test);
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
