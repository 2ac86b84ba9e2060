#include "browser/systemproxy_gsettings.h"

#include <gio/gio.h>

#include <initializer_list>
#include <memory>

namespace {

constexpr const char* kProxySchema = "org.gnome.system.proxy";
constexpr const char* kSocksSchema = "org.gnome.system.proxy.socks";

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;

// g_settings_new aborts on a missing schema and g_settings_set_* on a missing
// key, so both are looked up first; nullptr when anything is missing.
SettingsPtr OpenSettings(const char* schemaId, std::initializer_list<const char*> keys) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaId, TRUE);
    if (!schema)
        return nullptr;
    bool complete = true;
    for (const char* key : keys)
        complete = complete && g_settings_schema_has_key(schema, key);
    SettingsPtr settings(complete ? g_settings_new_full(schema, nullptr, nullptr) : nullptr);
    g_settings_schema_unref(schema);
    return settings;
}

}  // namespace

bool CGSettingsProxyStore::WriteProxy(const std::string& /*connection*/, const std::string& host,
                                      int port, const std::string& bypass) {
    // Values GSettings would refuse with a critical warning are refused here.
    if (port < 0 || port > 65535 || !g_utf8_validate(host.c_str(), -1, nullptr) ||
        !g_utf8_validate(bypass.c_str(), -1, nullptr))
        return false;
    SettingsPtr proxy = OpenSettings(kProxySchema, {"mode", "ignore-hosts"});
    SettingsPtr socks = OpenSettings(kSocksSchema, {"host", "port"});
    if (!proxy || !socks)
        return false;
    // The SOCKS address goes first so the manual mode never points at an old one.
    const char* const ignoreHosts[] = {bypass.c_str(), nullptr};
    return g_settings_set_string(socks.get(), "host", host.c_str()) &&
           g_settings_set_int(socks.get(), "port", port) &&
           g_settings_set_strv(proxy.get(), "ignore-hosts", ignoreHosts) &&
           g_settings_set_string(proxy.get(), "mode", "manual");
}

bool CGSettingsProxyStore::WriteDirect(const std::string& /*connection*/) {
    SettingsPtr proxy = OpenSettings(kProxySchema, {"mode"});
    return proxy && g_settings_set_string(proxy.get(), "mode", "none");
}

void CGSettingsProxyStore::NotifySettingsChanged() {
    // Writes may still be queued in the backend (dconf); flush them so other
    // programs see the change at once.
    g_settings_sync();
}

void CGSettingsProxyStore::Refresh() {
    // Nothing to do: GSettings tells every reader about a change by itself.
}
