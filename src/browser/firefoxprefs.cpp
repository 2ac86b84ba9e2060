#include <glib.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "browser/firefox.h"
#include "browser/prefsfile.h"

namespace {

constexpr std::string_view kProxyTypeName = "\"network.proxy.type\"";
constexpr std::string_view kDirectStatement = "user_pref(\"network.proxy.type\", 0);";
// Firefox's value for following the desktop's proxy settings, and its default.
constexpr int kSystemProxyType = 5;

bool IsLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

size_t SkipBlanks(std::string_view text, size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    return at;
}

// A user_pref("network.proxy.type", N); statement that starts a line.
struct ProxyTypeStatement {
    size_t begin = 0;  // where its line starts
    size_t end = 0;    // past its line and the line end after it
    int value = 0;
};

// The statement at `line` (the start of a line), if the line holds one.
bool StatementAt(std::string_view text, size_t line, ProxyTypeStatement& statement)
{
    size_t at = SkipBlanks(text, line);
    constexpr std::string_view kCall = "user_pref(";
    if (text.compare(at, kCall.size(), kCall) != 0)
        return false;
    at = SkipBlanks(text, at + kCall.size());
    if (text.compare(at, kProxyTypeName.size(), kProxyTypeName) != 0)
        return false;
    at = SkipBlanks(text, at + kProxyTypeName.size());
    if (at >= text.size() || text[at] != ',')
        return false;
    const size_t close = text.find(')', at);
    if (close == std::string_view::npos)
        return false;
    const std::string number(text.substr(at + 1, close - at - 1));
    char* numberEnd = nullptr;
    statement.value = static_cast<int>(std::strtol(number.c_str(), &numberEnd, 10));
    if (SkipBlanks(number, static_cast<size_t>(numberEnd - number.c_str())) != number.size()
        || number.find_first_not_of(" \t") == std::string::npos)
        return false;
    at = SkipBlanks(text, close + 1);
    if (at >= text.size() || text[at] != ';')
        return false;
    // The rest of the line (a comment, in a hand-written user.js) and one
    // line end go with the statement: CR LF, LF or a lone CR.
    at = text.find_first_of("\r\n", at);
    if (at == std::string_view::npos)
        at = text.size();
    else if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
        at += 2;
    else
        ++at;
    statement.begin = line;
    statement.end = at;
    return true;
}

// Every network.proxy.type statement, in file order. Lines end at LF, CR LF
// or a lone CR; a mention of the name elsewhere (a comment, another pref's
// string) is not a statement.
std::vector<ProxyTypeStatement> ProxyTypeStatements(std::string_view text)
{
    std::vector<ProxyTypeStatement> found;
    for (size_t line = 0; line < text.size();) {
        ProxyTypeStatement statement;
        if (StatementAt(text, line, statement)) {
            found.push_back(statement);
            line = statement.end;
            continue;
        }
        const size_t lineEnd = text.find_first_of("\r\n", line);
        if (lineEnd == std::string_view::npos)
            break;
        line = lineEnd + 1;
        if (text[lineEnd] == '\r' && line < text.size() && text[line] == '\n')
            ++line;
    }
    return found;
}

// Whether the file's statements leave Firefox on the system proxy settings.
bool StatementsFollowSystem(std::string_view text)
{
    for (const ProxyTypeStatement& statement : ProxyTypeStatements(text))
        if (statement.value != kSystemProxyType)
            return false;
    return true;
}

// The line end the file uses first (LF when it has none).
std::string_view LineEndOf(std::string_view text)
{
    const size_t at = text.find_first_of("\r\n");
    if (at == std::string_view::npos || text[at] == '\n')
        return "\n";
    return at + 1 < text.size() && text[at + 1] == '\n' ? std::string_view("\r\n") : std::string_view("\r");
}

// Every other byte stays as it was: only the statements go (follow), or the
// direct statement is added on a line of its own (not follow).
std::string RewrittenPrefs(std::string_view content, bool follow)
{
    std::string result;
    if (follow) {
        size_t kept = 0;
        for (const ProxyTypeStatement& statement : ProxyTypeStatements(content)) {
            result.append(content.substr(kept, statement.begin - kept));
            kept = statement.end;
        }
        result.append(content.substr(kept));
        return result;
    }
    const std::string_view lineEnd = LineEndOf(content);
    result.assign(content);
    if (!result.empty() && !IsLineEnd(result.back()))
        result.append(lineEnd);
    result.append(kDirectStatement);
    result.append(lineEnd);
    return result;
}

// The file a link points to, so that writing replaces the file, not the link.
std::string LinkTarget(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    std::string target = resolved ? resolved : path;
    std::free(resolved);
    return target;
}

std::string UserJsPath(const std::string& prefsPath)
{
    gchar* folder = g_path_get_dirname(prefsPath.c_str());
    std::string path = std::string(folder) + "/user.js";
    g_free(folder);
    return path;
}

}  // namespace

bool PrefsFollowSystem(const FirefoxPaths& paths, bool& follows, std::string* whyUnreadable)
{
    std::string content;
    std::string userJs;
    std::string why;
    if (paths.exePath.empty())
        why = "no Firefox was found (looked on PATH, in /usr/lib, /usr/lib64 and /opt)";
    else if (paths.prefsPath.empty())
        why = "no Firefox profile with a prefs.js was found";
    else if (ReadWholeFile(UserJsPath(paths.prefsPath), userJs) && !StatementsFollowSystem(userJs))
        // Firefox applies user.js over prefs.js at every start: a change of
        // prefs.js alone would not hold, and user.js is the user's own.
        why = "the profile's user.js sets Firefox's proxy (network.proxy.type), and Firefox applies user.js at "
              "every start; remove that line from "
              + UserJsPath(paths.prefsPath) + " to let Velmora choose";
    else if (const Outcome read = ReadWholeFile(paths.prefsPath, content); !read)
        why = read.problem;
    else {
        follows = StatementsFollowSystem(content);
        return true;
    }
    if (whyUnreadable)
        *whyUnreadable = why;
    return false;
}

void SetPrefsFollowSystem(const FirefoxPaths& paths, bool follow)
{
    bool follows = false;
    std::string content;
    if (!paths.Complete() || !PrefsFollowSystem(paths, follows) || follows == follow)
        return;  // already as asked, or not Velmora's to change
    const std::string path = LinkTarget(paths.prefsPath);
    if (!ReadWholeFile(path, content))
        return;
    // The backup holds exactly the bytes the rewrite starts from.
    ReplaceWithBackup(path, content, RewrittenPrefs(content, follow));
}
