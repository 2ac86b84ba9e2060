#include "browser/chromiumprefs.h"
#include "browser/prefsfile.h"

#include <glib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

constexpr const char* kWebRtc = "webrtc";
constexpr const char* kPolicy = "ip_handling_policy";

std::optional<QJsonObject> ParseObject(const std::string& text)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// The compact JSON text of one value: Qt writes whole documents only, so the
// value is written as {"v":...} and cut out.
std::string RawJson(const QJsonValue& value)
{
    const QByteArray document = QJsonDocument(QJsonObject{{QStringLiteral("v"), value}}).toJson(QJsonDocument::Compact);
    return document.mid(5, document.size() - 6).toStdString();
}

// A value parsed on its own, as the member it would be ("[1]" for 1).
std::optional<QJsonValue> ParseValue(const std::string& raw)
{
    const std::optional<QJsonObject> wrapped = ParseObject("{\"v\":" + raw + "}");
    if (!wrapped)
        return std::nullopt;
    return wrapped->value(QStringLiteral("v"));
}

// Positions in text already known to be valid JSON: only enough scanning to
// find where members begin and end.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    size_t SkipSpace(size_t at) const
    {
        while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\n' || text_[at] == '\r'))
            ++at;
        return at;
    }

    // at is on the opening quote; returns the position after the closing one.
    size_t SkipString(size_t at) const
    {
        for (++at; at < text_.size() && text_[at] != '"'; ++at)
            if (text_[at] == '\\')
                ++at;
        return at + 1;
    }

    size_t SkipValue(size_t at) const
    {
        if (text_[at] == '"')
            return SkipString(at);
        if (text_[at] != '{' && text_[at] != '[') {
            while (at < text_.size() && std::string_view(",}] \t\r\n").find(text_[at]) == std::string_view::npos)
                ++at;
            return at;
        }
        int depth = 0;
        while (at < text_.size()) {
            const char c = text_[at];
            if (c == '"') {
                at = SkipString(at);
                continue;
            }
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return at + 1;
            ++at;
        }
        return at;
    }

    // One member of the object whose '{' is at open: where its key starts,
    // where its value starts and ends.
    struct Member {
        size_t key = std::string::npos;
        size_t value = 0;
        size_t end = 0;
        bool Found() const { return key != std::string::npos; }
    };

    // The member with key name (written without escapes), and how many there are.
    Member Find(size_t open, const std::string& name, int& count) const
    {
        Member found;
        count = 0;
        size_t at = SkipSpace(open + 1);
        while (at < text_.size() && text_[at] == '"') {
            const size_t keyEnd = SkipString(at);
            const size_t value = SkipSpace(SkipSpace(keyEnd) + 1);  // past the ':'
            const size_t end = SkipValue(value);
            if (text_.compare(at + 1, keyEnd - at - 2, name) == 0) {
                found = {at, value, end};
                ++count;
            }
            at = SkipSpace(end);
            if (at < text_.size() && text_[at] == ',')
                at = SkipSpace(at + 1);
        }
        return found;
    }

    bool EmptyObject(size_t open) const { return text_[SkipSpace(open + 1)] == '}'; }

    // The range to cut so that the member goes with one of its commas.
    std::pair<size_t, size_t> CutRange(const Member& member) const
    {
        const size_t after = SkipSpace(member.end);
        if (text_[after] == ',')
            return {member.key, SkipSpace(after + 1)};
        size_t before = member.key;
        while (before > 0 && text_[before - 1] != ',' && text_[before - 1] != '{')
            --before;
        if (before > 0 && text_[before - 1] == ',')
            --before;
        return {before, member.end};
    }

private:
    const std::string& text_;
};

std::string Spliced(const std::string& text, size_t from, size_t to, const std::string& insert)
{
    return text.substr(0, from) + insert + text.substr(to);
}

// The member text inserted right after an object's '{'.
std::string NewMember(const char* key, const std::string& value, bool objectEmpty)
{
    return JsonString(key) + ":" + value + (objectEmpty ? "" : ",");
}

}  // namespace

std::string JsonString(const std::string& text)
{
    return RawJson(QString::fromStdString(text));
}

WebRtcPolicyInPrefs ReadWebRtcPolicy(const std::string& text)
{
    WebRtcPolicyInPrefs result;
    const std::optional<QJsonObject> object = ParseObject(text);
    if (!object)
        return result;
    result.isObject = true;
    const QJsonValue webrtc = object->value(QLatin1String(kWebRtc));
    result.hasWebRtc = !webrtc.isUndefined();
    if (webrtc.isObject() && webrtc.toObject().contains(QLatin1String(kPolicy))) {
        result.policy = RawJson(webrtc.toObject().value(QLatin1String(kPolicy)));
    }
    // Chromium keeps a tracked preference's MAC under protection.macs, nested
    // by the preference's path.
    const QJsonObject macs =
        object->value(QStringLiteral("protection")).toObject().value(QStringLiteral("macs")).toObject();
    result.protectedByMac = macs.value(QLatin1String(kWebRtc)).toObject().contains(QLatin1String(kPolicy))
                            || macs.contains(QStringLiteral("webrtc.ip_handling_policy"));
    return result;
}

std::optional<std::string> WithWebRtcPolicy(const std::string& text, const RawJsonValue& value, bool dropEmptyWebRtc)
{
    std::optional<QJsonObject> expected = ParseObject(text);
    if (!expected)
        return std::nullopt;
    std::optional<QJsonValue> parsedValue;
    if (value && !(parsedValue = ParseValue(*value)))
        return std::nullopt;

    const Scanner scan(text);
    const size_t top = scan.SkipSpace(0);
    int count = 0;
    const Scanner::Member webrtc = scan.Find(top, kWebRtc, count);
    if (count > 1 || (webrtc.Found() && text[webrtc.value] != '{'))
        return std::nullopt;

    std::string result = text;
    QJsonObject webrtcObject = expected->value(QLatin1String(kWebRtc)).toObject();
    if (!webrtc.Found()) {
        if (!value)
            return result;
        result = Spliced(text, top + 1, top + 1,
                         NewMember(kWebRtc, "{" + NewMember(kPolicy, *value, true) + "}", scan.EmptyObject(top)));
        webrtcObject.insert(QLatin1String(kPolicy), *parsedValue);
    } else {
        const Scanner::Member policy = scan.Find(webrtc.value, kPolicy, count);
        if (count > 1)
            return std::nullopt;
        if (value && policy.Found()) {
            result = Spliced(text, policy.value, policy.end, *value);
        } else if (value) {
            result = Spliced(text, webrtc.value + 1, webrtc.value + 1,
                             NewMember(kPolicy, *value, scan.EmptyObject(webrtc.value)));
        } else if (policy.Found()) {
            const auto cut = scan.CutRange(policy);
            result = Spliced(text, cut.first, cut.second, "");
        }
        if (value)
            webrtcObject.insert(QLatin1String(kPolicy), *parsedValue);
        else
            webrtcObject.remove(QLatin1String(kPolicy));
        if (!value && dropEmptyWebRtc && webrtcObject.isEmpty()) {
            const Scanner again(result);
            const Scanner::Member emptied = again.Find(again.SkipSpace(0), kWebRtc, count);
            const auto cut = again.CutRange(emptied);
            result = Spliced(result, cut.first, cut.second, "");
        }
    }
    if (!value && dropEmptyWebRtc && webrtcObject.isEmpty())
        expected->remove(QLatin1String(kWebRtc));
    else
        expected->insert(QLatin1String(kWebRtc), webrtcObject);

    // The splice must have changed that one value and nothing else.
    const std::optional<QJsonObject> written = ParseObject(result);
    if (!written || *written != *expected)
        return std::nullopt;
    return result;
}

PrefsWrite WriteWebRtcPolicy(const std::string& path, const RawJsonValue& value, bool dropEmptyWebRtc)
{
    std::string content;
    if (!ReadWholeFile(path, content))
        return PrefsWrite::Unreadable;
    const WebRtcPolicyInPrefs now = ReadWebRtcPolicy(content);
    if (!now.isObject)
        return PrefsWrite::NotAnObject;
    if (now.protectedByMac)
        return PrefsWrite::Protected;
    const std::optional<std::string> changed = WithWebRtcPolicy(content, value, dropEmptyWebRtc);
    if (!changed)
        return PrefsWrite::Unsupported;
    if (*changed == content)
        return PrefsWrite::Unchanged;
    if (!ReplaceWithBackup(path, content, *changed))
        return PrefsWrite::Failed;
    return PrefsWrite::Written;
}
