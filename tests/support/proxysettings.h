#pragma once

// GNOME's proxy settings as the tests read and write them: the five schemas
// org.gnome.system.proxy and its http, https, ftp and socks children.
// Header only: link PkgConfig::GIO.
#include <gio/gio.h>

#include <string>

inline constexpr const char* kProxySchemaIds[] = {"org.gnome.system.proxy", "org.gnome.system.proxy.http",
                                                  "org.gnome.system.proxy.https", "org.gnome.system.proxy.ftp",
                                                  "org.gnome.system.proxy.socks"};

// Calls visit(settings, key) for every key of the five schemas.
template <typename Visit>
void ForEachProxyKey(Visit visit)
{
    for (const char* id : kProxySchemaIds) {
        GSettings* settings = g_settings_new(id);
        GSettingsSchema* schema = nullptr;
        g_object_get(settings, "settings-schema", &schema, nullptr);
        gchar** keys = g_settings_schema_list_keys(schema);
        for (gchar** key = keys; *key; ++key)
            visit(id, settings, *key);
        g_strfreev(keys);
        g_settings_schema_unref(schema);
        g_object_unref(settings);
    }
}

// Every key with what the user set ("(default)" where nothing): what a
// restore must give back exactly.
inline std::string ProxySettingsDump()
{
    std::string dump;
    ForEachProxyKey([&dump](const char* id, GSettings* settings, const char* key) {
        GVariant* user = g_settings_get_user_value(settings, key);
        gchar* text = user ? g_variant_print(user, FALSE) : nullptr;
        dump += std::string(id) + " " + key + " = " + (text ? text : "(default)") + "\n";
        g_free(text);
        if (user)
            g_variant_unref(user);
    });
    return dump;
}

// Every key back at its default.
inline void ResetProxySettings()
{
    ForEachProxyKey([](const char*, GSettings* settings, const char* key) { g_settings_reset(settings, key); });
    g_settings_sync();
}

// The value in GVariant text ("'manual'", "1080").
inline std::string ProxySetting(const char* schema, const char* key)
{
    GSettings* settings = g_settings_new(schema);
    GVariant* value = g_settings_get_value(settings, key);
    gchar* text = g_variant_print(value, FALSE);
    std::string result = text;
    g_free(text);
    g_variant_unref(value);
    g_object_unref(settings);
    return result;
}

// Sets a value from its GVariant text; false when it does not parse or is refused.
inline bool SetProxySetting(const char* schema, const char* key, const char* text)
{
    GSettings* settings = g_settings_new(schema);
    GVariant* current = g_settings_get_value(settings, key);
    GVariant* value = g_variant_parse(g_variant_get_type(current), text, nullptr, nullptr, nullptr);
    g_variant_unref(current);
    const bool set = value && g_settings_set_value(settings, key, value);
    if (value)
        g_variant_unref(value);
    g_object_unref(settings);
    g_settings_sync();
    return set;
}
