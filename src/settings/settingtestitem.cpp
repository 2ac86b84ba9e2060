#include "settings/settingtestitem.h"

#include <cstring>

#include "data/tabstdiofile.h"
#include "service/postform.h"
#include "service/serviceendpoints.h"

namespace {
// Longest texts a written line holds: 254 characters with its key and tab.
constexpr size_t kMaxWrittenCorrectValue = 254 - (sizeof "Correct Value\t" - 1);  // 240
constexpr size_t kMaxWrittenUrl = 254 - (sizeof "URL\t" - 1);                      // 250
// Copies text into a 256-byte field when it fits; false otherwise.
bool StoreText(char (&field)[256], const std::string& text)
{
    if (text.size() >= sizeof field)
        return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// Splits a test-target answer "URL|text|" (anything after the second "|"
// is ignored). False when it is too short or too long, lacks a separator or
// leaves the address or the text empty.
bool ParseTestTarget(const std::string& answer, std::string& url, std::string& text)
{
    if (answer.size() < 8 || answer.size() > 49)
        return false;
    const size_t first = answer.find('|');
    const size_t second = first == std::string::npos ? first : answer.find('|', first + 1);
    if (second == std::string::npos)
        return false;
    url = answer.substr(0, first);
    text = answer.substr(first + 1, second - first - 1);
    return !url.empty() && !text.empty();
}
}  // namespace

bool CSettingTestItem::Read(CTabStdioFile& file)
{
    std::string text;
    if (!ReadKeyLine(file, "Test Type", text))
        return false;
    testType = text == "0" ? 0 : text == "1" ? 1 : 2;
    if (!ReadNumberLine(file, "Test Thread Count", 5, 30, threadCount)
        || !ReadNumberLine(file, "Test Timeout Second", 5, 30, timeoutSeconds))
        return false;
    // A text longer than its line can carry when written back would be lost
    // on the next save, and with it every section after it: refuse it here.
    if (!ReadKeyLine(file, "Correct Value", text) || text.size() > kMaxWrittenCorrectValue)
        return false;
    StoreText(correctValue, text);
    if (!ReadKeyLine(file, "URL", text) || text.size() > kMaxWrittenUrl)
        return false;
    StoreText(testUrl, text);
    return true;
}

void CSettingTestItem::Write(CTabStdioFile& file)
{
    WriteKeyLine(file, "Test Type", testType == 0 ? "0" : testType == 1 ? "1" : "2");
    WriteNumberLine(file, "Test Thread Count", threadCount);
    WriteNumberLine(file, "Test Timeout Second", timeoutSeconds);
    WriteKeyLine(file, "Correct Value", correctValue);
    WriteKeyLine(file, "URL", testUrl);
}

void CSettingTestItem::SetDefaults()
{
    testType = 2;
    threadCount = 10;
    timeoutSeconds = 20;

    std::string answer;
    if (!PostForm(TestTargetEndpoint(), "", answer))
        answer.clear();
    std::string url, text;
    if (!ParseTestTarget(answer, url, text)) {
        url = FallbackTestUrl();
        text = "engine";
    }
    StoreText(testUrl, url);
    StoreText(correctValue, text);
}
