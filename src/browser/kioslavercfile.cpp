#include "browser/kioslavercfile.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

constexpr const char* kBlanks = " \t\r";

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsBlank(const std::string& line)
{
    return Trimmed(line).empty();
}

bool IsGroupHeader(const std::string& line)
{
    const std::string text = Trimmed(line);
    return !text.empty() && text[0] == '[';
}

bool IsProxyGroupHeader(const std::string& line)
{
    // "[Proxy Settings][$i]" (a locked group) is the same group.
    return Trimmed(line).rfind(CKioslavercFile::kProxyGroup, 0) == 0;
}

// The key of an entry line, or "" for blank lines and comments.
std::string KeyOf(const std::string& line)
{
    const std::string text = Trimmed(line);
    const size_t equals = text.find('=');
    if (text.empty() || text[0] == '#' || equals == std::string::npos)
        return std::string();
    std::string key = Trimmed(text.substr(0, equals));
    // "key[$e]" and "key[de]" are the same key to a reader of proxy settings.
    if (!key.empty() && key.back() == ']') {
        const size_t open = key.rfind('[');
        key = open == std::string::npos ? std::string() : Trimmed(key.substr(0, open));
    }
    return key;
}

// The file a symbolic link points to, so that the link itself stays.
std::string RealTarget(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

}  // namespace

bool CKioslavercFile::Load(const std::string& path)
{
    path_ = path;
    lines_.clear();
    finalNewline_ = true;
    gchar* data = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    exists_ = g_file_get_contents(path.c_str(), &data, &length, &error);
    if (!exists_) {
        const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
        g_clear_error(&error);
        return missing;
    }
    const std::string text(data, length);
    g_free(data);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines_.push_back(text.substr(start));
            finalNewline_ = false;
            break;
        }
        lines_.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

std::vector<CKioslavercFile::Entry> CKioslavercFile::Entries() const
{
    std::vector<Entry> entries;
    bool inGroup = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (IsGroupHeader(lines_[i])) {
            inGroup = IsProxyGroupHeader(lines_[i]);
            continue;
        }
        const std::string key = inGroup ? KeyOf(lines_[i]) : std::string();
        if (!key.empty())
            entries.push_back({i, key});
    }
    return entries;
}

bool CKioslavercFile::HasProxyGroup() const
{
    for (const std::string& line : lines_)
        if (IsProxyGroupHeader(line))
            return true;
    return false;
}

std::string CKioslavercFile::Line(const std::string& key) const
{
    std::string found;
    for (const Entry& entry : Entries())
        if (entry.key == key)
            found = lines_[entry.index];
    return found;
}

std::string CKioslavercFile::ValueOf(const std::string& line)
{
    const size_t equals = line.find('=');
    return equals == std::string::npos ? std::string() : Trimmed(line.substr(equals + 1));
}

std::string CKioslavercFile::Value(const std::string& key) const
{
    return ValueOf(Line(key));
}

size_t CKioslavercFile::InsertionPoint() const
{
    size_t header = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i)
        if (IsProxyGroupHeader(lines_[i]))
            header = i;
    size_t point = header + 1;
    for (size_t i = header + 1; i < lines_.size() && !IsGroupHeader(lines_[i]); ++i)
        if (!IsBlank(lines_[i]))
            point = i + 1;
    return point;
}

void CKioslavercFile::SetLine(const std::string& key, const std::string& line)
{
    size_t last = lines_.size();
    for (const Entry& entry : Entries())
        if (entry.key == key)
            last = entry.index;
    if (last < lines_.size()) {
        lines_[last] = line;
        return;
    }
    if (!HasProxyGroup()) {
        // A group of its own at the end, set apart by a blank line as KDE does.
        if (!lines_.empty())
            lines_.emplace_back();
        lines_.emplace_back(kProxyGroup);
        finalNewline_ = true;
    }
    const size_t point = InsertionPoint();
    if (point == lines_.size())
        finalNewline_ = true;  // the line before the new one needs its line break
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(point), line);
}

void CKioslavercFile::RemoveKey(const std::string& key)
{
    const std::vector<Entry> entries = Entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (entry->key == key)
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entry->index));
}

void CKioslavercFile::RemoveProxyGroupIfEmpty()
{
    for (size_t header = 0; header < lines_.size(); ++header) {
        if (!IsProxyGroupHeader(lines_[header]))
            continue;
        size_t end = header + 1;
        while (end < lines_.size() && !IsGroupHeader(lines_[end]) && IsBlank(lines_[end]))
            ++end;
        if (end < lines_.size() && !IsGroupHeader(lines_[end]))
            continue;  // the group still holds something
        const size_t from = header > 0 && IsBlank(lines_[header - 1]) ? header - 1 : header;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(from),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        return;
    }
}

bool CKioslavercFile::Save() const
{
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || finalNewline_)
            text += '\n';
    }
    const std::string target = RealTarget(path_);
    struct stat info = {};
    const int mode = stat(target.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : 0600;
    gchar* folder = g_path_get_dirname(target.c_str());
    const bool written = g_mkdir_with_parents(folder, 0700) == 0
                         && g_file_set_contents_full(target.c_str(), text.data(), static_cast<gssize>(text.size()),
                                                     G_FILE_SET_CONTENTS_CONSISTENT, mode, nullptr);
    g_free(folder);
    return written;
}

bool CKioslavercFile::Remove() const
{
    return g_remove(path_.c_str()) == 0 || errno == ENOENT;
}
