#include <glib.h>
#include <sys/stat.h>

#include <string_view>

#include "browser/firefox.h"

namespace {

constexpr std::string_view kProxyTypeName = "network.proxy.type";
constexpr std::string_view kDirectLine = "user_pref(\"network.proxy.type\", 0);";

// On failure error (when given) gets the system's reason with the file's name.
bool ReadWholeFile(const std::string& path, std::string& content, std::string* error = nullptr)
{
    gchar* data = nullptr;
    gsize length = 0;
    GError* failure = nullptr;
    if (!g_file_get_contents(path.c_str(), &data, &length, &failure)) {
        if (error)
            *error = failure->message;
        g_error_free(failure);
        return false;
    }
    content.assign(data, length);
    g_free(data);
    return true;
}

// Writes a temporary file beside path and renames it over path, so a failure
// at any point leaves the old file whole.
bool ReplaceFile(const std::string& path, const std::string& content, int mode)
{
    return g_file_set_contents_full(
        path.c_str(), content.data(), static_cast<gssize>(content.size()),
        static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), mode,
        nullptr);
}

// The name cannot span a line end, so a match anywhere is a match in one line.
bool MentionsProxyType(std::string_view text)
{
    return text.find(kProxyTypeName) != std::string_view::npos;
}

// Lines end at LF with a CR right before it dropped; kept lines are copied
// whole, byte for byte, with CR LF after every line that had a line end.
std::string RewrittenPrefs(std::string_view content, bool follow)
{
    std::string result;
    result.reserve(content.size() + kDirectLine.size());
    while (!content.empty()) {
        const size_t lineEnd = content.find('\n');
        const bool ended = lineEnd != std::string_view::npos;
        std::string_view line = content.substr(0, ended ? lineEnd : content.size());
        content.remove_prefix(ended ? lineEnd + 1 : content.size());
        if (ended && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (follow && MentionsProxyType(line))
            continue;
        result.append(line);
        if (ended)
            result.append("\r\n");
    }
    if (!follow)
        result.append(kDirectLine);
    return result;
}

}  // namespace

bool PrefsFollowSystem(const FirefoxPaths& paths, bool& follows, std::string* whyUnreadable)
{
    std::string content;
    std::string why;
    if (paths.exePath.empty())
        why = "no Firefox was found (looked on PATH, in /usr/lib, /usr/lib64 and /opt)";
    else if (paths.prefsPath.empty())
        why = "no Firefox profile with a prefs.js was found";
    else if (ReadWholeFile(paths.prefsPath, content, &why)) {
        follows = !MentionsProxyType(content);
        return true;
    }
    if (whyUnreadable)
        *whyUnreadable = why;
    return false;
}

void SetPrefsFollowSystem(const FirefoxPaths& paths, bool follow)
{
    std::string content;
    if (!paths.Complete() || !ReadWholeFile(paths.prefsPath, content))
        return;
    if (MentionsProxyType(content) != follow)
        return;  // already as asked
    struct stat info = {};
    const int mode = stat(paths.prefsPath.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : 0600;
    // The backup holds exactly the bytes the rewrite starts from.
    if (!ReplaceFile(paths.prefsPath + ".bkp", content, mode))
        return;
    ReplaceFile(paths.prefsPath, RewrittenPrefs(content, follow), mode);
}
