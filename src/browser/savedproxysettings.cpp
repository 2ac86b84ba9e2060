#include "browser/savedproxysettings.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

constexpr const char* kAppliedGroup = "Applied";
constexpr const char* kDesktopGroup = "Desktop";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

std::string TakeString(gchar* text)
{
    std::string value = text ? text : "";
    g_free(text);
    return value;
}

}  // namespace

std::string SavedProxySettingsPath(const std::string& name)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state && state[0] == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && home[0] ? home : g_get_home_dir()) + "/.local/state";
    }
    return folder + "/velmora/" + name + ".ini";
}

bool LoadSavedProxySettings(const std::string& path, SavedProxySettings& saved)
{
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr)
        || !g_key_file_has_group(file.get(), kAppliedGroup) || !g_key_file_has_group(file.get(), kDesktopGroup))
        return false;

    SavedProxySettings loaded;
    loaded.connection = TakeString(g_key_file_get_string(file.get(), kAppliedGroup, "Connection", nullptr));
    const std::string address = TakeString(g_key_file_get_string(file.get(), kAppliedGroup, "Address", nullptr));
    loaded.applied.SetIp(address.c_str());
    loaded.applied.port = g_key_file_get_integer(file.get(), kAppliedGroup, "Port", nullptr);
    GError* error = nullptr;
    const int country = g_key_file_get_integer(file.get(), kAppliedGroup, "Country", &error);
    loaded.applied.country = error ? -1 : country;
    g_clear_error(&error);
    loaded.applied.type = g_key_file_get_integer(file.get(), kAppliedGroup, "Type", nullptr);
    loaded.relayPort = g_key_file_get_integer(file.get(), kAppliedGroup, "RelayPort", nullptr);
    if (!IsValidProxyPort(loaded.relayPort))
        loaded.relayPort = 0;

    gsize count = 0;
    gchar** keys = g_key_file_get_keys(file.get(), kDesktopGroup, &count, nullptr);
    for (gsize i = 0; i < count; ++i)
        loaded.before[keys[i]] = TakeString(g_key_file_get_string(file.get(), kDesktopGroup, keys[i], nullptr));
    g_strfreev(keys);
    // Without the settings to restore, the file is of no use.
    if (loaded.before.empty())
        return false;
    saved = loaded;
    return true;
}

bool StoreSavedProxySettings(const std::string& path, const SavedProxySettings& saved)
{
    KeyFilePtr file(g_key_file_new());
    g_key_file_set_comment(file.get(), nullptr, nullptr,
                           " The desktop's proxy settings from before Velmora applied a proxy;\n"
                           " Restore IP puts them back and removes this file.",
                           nullptr);
    g_key_file_set_string(file.get(), kAppliedGroup, "Connection", saved.connection.c_str());
    g_key_file_set_string(file.get(), kAppliedGroup, "Address", saved.applied.ip);
    g_key_file_set_integer(file.get(), kAppliedGroup, "Port", saved.applied.port);
    g_key_file_set_integer(file.get(), kAppliedGroup, "Country", saved.applied.country);
    g_key_file_set_integer(file.get(), kAppliedGroup, "Type", saved.applied.type);
    if (saved.relayPort != 0)
        g_key_file_set_integer(file.get(), kAppliedGroup, "RelayPort", saved.relayPort);
    for (const auto& [key, value] : saved.before)
        g_key_file_set_string(file.get(), kDesktopGroup, key.c_str(), value.c_str());

    gsize length = 0;
    gchar* data = g_key_file_to_data(file.get(), &length, nullptr);
    gchar* folder = g_path_get_dirname(path.c_str());
    // The settings may name the user's own proxy server: readable by the user only.
    const bool written = g_mkdir_with_parents(folder, 0700) == 0
                         && g_file_set_contents_full(path.c_str(), data, static_cast<gssize>(length),
                                                     G_FILE_SET_CONTENTS_CONSISTENT, 0600, nullptr);
    g_free(folder);
    g_free(data);
    return written;
}

bool RemoveSavedProxySettings(const std::string& path)
{
    return g_remove(path.c_str()) == 0 || errno == ENOENT;
}
