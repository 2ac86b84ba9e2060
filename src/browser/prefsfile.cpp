#include "browser/prefsfile.h"

#include <glib.h>
#include <sys/stat.h>

namespace {

bool ReplaceFile(const std::string& path, const std::string& content, int mode)
{
    return g_file_set_contents_full(
        path.c_str(), content.data(), static_cast<gssize>(content.size()),
        static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), mode,
        nullptr);
}

}  // namespace

Outcome ReadWholeFile(const std::string& path, std::string& content)
{
    gchar* data = nullptr;
    gsize length = 0;
    GError* failure = nullptr;
    if (!g_file_get_contents(path.c_str(), &data, &length, &failure)) {
        Outcome failed = Outcome::Failed(failure->message);
        g_error_free(failure);
        return failed;
    }
    content.assign(data, length);
    g_free(data);
    return Outcome::Done();
}

bool ReplaceWithBackup(const std::string& path, const std::string& oldContent, const std::string& newContent)
{
    struct stat info = {};
    const int mode = stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : 0600;
    return ReplaceFile(path + ".bkp", oldContent, mode) && ReplaceFile(path, newContent, mode);
}
