#include "service/startrequest.h"

#include <cctype>
#include <cstring>

#include "data/countrycatalogue.h"
#include "service/postform.h"
#include "service/serviceendpoints.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "1.3.0.0"
#endif

char realAddress[16] = "";
int realCountry = -1;

namespace {
// Message texts longer than this are dropped: the dialog keeps at most 255
// characters plus the terminator.
constexpr size_t kMaxMessageText = 255;

// The text between the first startMarker and the first endMarker after it.
bool TextBetween(const std::string& answer, const char* startMarker, const char* endMarker, std::string& text)
{
    const size_t start = answer.find(startMarker);
    if (start == std::string::npos)
        return false;
    const size_t from = start + std::strlen(startMarker);
    const size_t end = answer.find(endMarker, from);
    if (end == std::string::npos)
        return false;
    text = answer.substr(from, end - from);
    if (text.size() > kMaxMessageText)
        text.clear();
    return true;
}

void StoreCountry(const std::string& answer)
{
    static const char marker[] = "CountryCode:";
    const size_t at = answer.find(marker);
    if (at != std::string::npos)
        realCountry = FindCountryByCode(answer.substr(at + sizeof marker - 1, 2));
}

void StoreAddress(const std::string& answer)
{
    static const char marker[] = "IPAddress:";
    const size_t at = answer.find(marker);
    if (at == std::string::npos)
        return;
    const size_t from = at + sizeof marker - 1;
    size_t end = from;
    while (end < answer.size() && (std::isdigit(static_cast<unsigned char>(answer[end])) || answer[end] == '.'))
        ++end;
    // A longer run cannot be an IPv4 address; a cut-off one would be wrong.
    const std::string address = end - from < sizeof realAddress ? answer.substr(from, end - from) : "";
    std::memcpy(realAddress, address.c_str(), address.size() + 1);
}
}  // namespace

std::string ProductVersion()
{
    return VELMORA_VERSION;
}

std::string SendStartRequest()
{
    std::string answer;
    PostForm(StartEndpoint(), "Version=" + ProductVersion() + "&OperationType=1", answer);
    return answer;
}

bool ParsePushMessage(const std::string& answer, PushMessage& message)
{
    if (!TextBetween(answer, "MsgStart", "MsgEnd", message.body))
        return false;
    static const char typeMarker[] = "MsgType:";
    const size_t at = answer.find(typeMarker);
    const size_t digit = at == std::string::npos ? at : at + sizeof typeMarker - 1;
    message.type = digit < answer.size() && answer[digit] >= '1' && answer[digit] <= '4' ? answer[digit] - '0' : 1;
    // The start answer always supplies a caption text, empty without markers.
    message.caption.clear();
    TextBetween(answer, "MsgCapStart", "MsgCapEnd", message.caption);
    message.hasCaption = true;
    return true;
}

void EvaluateStartAnswer(const std::string& answer, IStartAnswerUi& ui)
{
    if (answer.empty()) {
        ui.ShowUnreachable();
        ui.RequestExit();
        return;
    }
    PushMessage message;
    if (ParsePushMessage(answer, message))
        ui.ShowPushMessage(message);
    StoreCountry(answer);
    StoreAddress(answer);
}

bool ParseTestTarget(const std::string& answer, std::string& url, std::string& expected)
{
    if (answer.size() < 8 || answer.size() > 49)
        return false;
    const size_t first = answer.find('|');
    const size_t second = first == std::string::npos ? first : answer.find('|', first + 1);
    if (second == std::string::npos || first == 0 || second == first + 1 || !IsWebUrl(answer.substr(0, first)))
        return false;
    url = answer.substr(0, first);
    expected = answer.substr(first + 1, second - first - 1);
    return true;
}

bool RequestTestTarget(std::string& url, std::string& expected)
{
    std::string answer;
    return PostForm(TestTargetEndpoint(), "", answer) && ParseTestTarget(answer, url, expected);
}
