#include "browser/systemproxy_gsettings.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr const char* kProxySchema = "org.gnome.system.proxy";

// A key of the proxy settings: its name in DesktopProxySettings, the schema
// below org.gnome.system.proxy ("" for the parent) and its key there.
struct ProxyKey {
    const char* name;
    const char* child;
    const char* key;
};

// Every key Hide IP writes, in writing order: the mode goes last, so manual
// mode never points at entries that are still being changed.
constexpr ProxyKey kProxyKeys[] = {
    {"http.host", "http", "host"},
    {"https.host", "https", "host"},
    {"ftp.host", "ftp", "host"},
    {"use-same-proxy", "", "use-same-proxy"},
    {"autoconfig-url", "", "autoconfig-url"},
    {"ignore-hosts", "", "ignore-hosts"},
    {"socks.host", "socks", "host"},
    {"socks.port", "socks", "port"},
    {"mode", "", "mode"},
};

// Loopback stays direct while a proxy is applied: a remote proxy would
// connect to its own loopback services instead of the user's.
constexpr const char* kLoopbackHosts[] = {"localhost", "127.0.0.0/8", "::1"};

// Requests whose route is checked after applying; example.com is reserved
// for documentation, and no lookup here sends anything to it.
constexpr const char* kCheckedUris[] = {"http://www.example.com/", "https://www.example.com/"};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
struct SchemaKeyUnref {
    void operator()(GSettingsSchemaKey* key) const { g_settings_schema_key_unref(key); }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;
using SchemaKeyPtr = std::unique_ptr<GSettingsSchemaKey, SchemaKeyUnref>;

std::string TakeText(gchar* text)
{
    std::string value = text ? text : "";
    g_free(text);
    return value;
}

// The proxy schemas, opened once per operation. g_settings_new aborts on a
// missing schema and g_settings_set_* on a missing key, so both are looked
// up first; Complete() is false when anything is missing.
class ProxySchemas {
public:
    ProxySchemas()
    {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        for (const ProxyKey& key : kProxyKeys) {
            const std::string id = *key.child ? std::string(kProxySchema) + "." + key.child : kProxySchema;
            if (!complete_ || schemas_.count(key.child))
                continue;
            GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, id.c_str(), TRUE) : nullptr;
            if (!schema) {
                complete_ = false;
                continue;
            }
            schemas_[key.child] = schema;
            settings_[key.child] = SettingsPtr(g_settings_new_full(schema, nullptr, nullptr));
        }
        for (const ProxyKey& key : kProxyKeys)
            complete_ = complete_ && g_settings_schema_has_key(schemas_[key.child], key.key);
    }
    ~ProxySchemas()
    {
        for (auto& [child, schema] : schemas_)
            if (schema)
                g_settings_schema_unref(schema);
    }
    ProxySchemas(const ProxySchemas&) = delete;
    ProxySchemas& operator=(const ProxySchemas&) = delete;

    bool Complete() const { return complete_; }
    GSettings* Settings(const ProxyKey& key) { return settings_[key.child].get(); }

    // Empty text resets the key to its default; other texts are parsed with
    // the key's type and must be in its range. The type belongs to the schema
    // key, which is kept until the text has been parsed.
    bool Set(const ProxyKey& key, const std::string& text)
    {
        if (text.empty()) {
            g_settings_reset(Settings(key), key.key);
            return true;
        }
        const SchemaKeyPtr schemaKey(g_settings_schema_get_key(schemas_[key.child], key.key));
        const VariantPtr value(g_variant_parse(g_settings_schema_key_get_value_type(schemaKey.get()), text.c_str(),
                                               nullptr, nullptr, nullptr));
        return value && g_settings_schema_key_range_check(schemaKey.get(), value.get())
               && g_settings_set_value(Settings(key), key.key, value.get());
    }

    // Changes made between Delay and Apply reach the backend together, one
    // schema at a time: the children first, the parent with the mode last, so
    // that manual mode never points at entries still being changed. Revert
    // drops them.
    void Delay()
    {
        for (auto& [child, settings] : settings_)
            g_settings_delay(settings.get());
    }
    void Apply()
    {
        for (auto& [child, settings] : settings_)
            if (*child.c_str())
                g_settings_apply(settings.get());
        g_settings_apply(settings_[""].get());
    }
    void Revert()
    {
        for (auto& [child, settings] : settings_)
            g_settings_revert(settings.get());
    }

private:
    bool complete_ = true;
    std::map<std::string, GSettingsSchema*> schemas_;
    std::map<std::string, SettingsPtr> settings_;
};

const ProxyKey& Key(const char* name)
{
    for (const ProxyKey& key : kProxyKeys)
        if (std::strcmp(key.name, name) == 0)
            return key;
    std::abort();  // only called with the names above
}

std::string PrintedString(const std::string& text)
{
    VariantPtr value(g_variant_ref_sink(g_variant_new_string(text.c_str())));
    return TakeText(g_variant_print(value.get(), FALSE));
}

// The user's bypass list from the earlier settings (or the key's default
// when the user never set one), followed by the loopback entries it lacks.
std::vector<std::string> BypassWithLoopback(ProxySchemas& schemas, const DesktopProxySettings& before)
{
    const ProxyKey& key = Key("ignore-hosts");
    const auto saved = before.find(key.name);
    VariantPtr value(
        saved != before.end() && !saved->second.empty()
            ? g_variant_parse(G_VARIANT_TYPE_STRING_ARRAY, saved->second.c_str(), nullptr, nullptr, nullptr)
            : g_settings_get_default_value(schemas.Settings(key), key.key));
    std::vector<std::string> hosts;
    if (value) {
        gsize count = 0;
        const gchar** entries = g_variant_get_strv(value.get(), &count);
        hosts.assign(entries, entries + count);
        g_free(entries);
    }
    for (const char* loopback : kLoopbackHosts)
        if (std::find(hosts.begin(), hosts.end(), loopback) == hosts.end())
            hosts.emplace_back(loopback);
    return hosts;
}

// A fresh instance of the resolver GIO would pick, chosen the way
// g_proxy_resolver_get_default chooses (GIO_USE_PROXY_RESOLVER first, then by
// priority). The default instance caches the settings and learns of changes
// only through the main loop; a fresh one reads what was just written.
// With gnomeOnly, GIO's GNOME resolver ("gnome", from glib-networking)
// whether or not it calls itself supported on this desktop.
GProxyResolver* NewDesktopResolver(bool gnomeOnly)
{
    g_proxy_resolver_get_default();  // loads GIO's modules
    GIOExtensionPoint* point = g_io_extension_point_lookup(G_PROXY_RESOLVER_EXTENSION_POINT_NAME);
    const char* wanted = gnomeOnly ? "gnome" : std::getenv("GIO_USE_PROXY_RESOLVER");
    for (const bool byName : {true, false}) {
        if ((byName && !wanted) || (!byName && gnomeOnly))
            continue;
        for (GList* item = point ? g_io_extension_point_get_extensions(point) : nullptr; item; item = item->next) {
            auto* extension = static_cast<GIOExtension*>(item->data);
            if (byName && std::strcmp(g_io_extension_get_name(extension), wanted) != 0)
                continue;
            auto* resolver = static_cast<GProxyResolver*>(g_object_new(g_io_extension_get_type(extension), nullptr));
            if (gnomeOnly || g_proxy_resolver_is_supported(resolver))
                return resolver;
            g_object_unref(resolver);
        }
    }
    return nullptr;
}

bool IsSocksProxyUri(const char* text, const std::string& host, int port)
{
    GUri* uri = g_uri_parse(text, G_URI_FLAGS_NONE, nullptr);
    if (!uri)
        return false;
    const std::string scheme = g_uri_get_scheme(uri);
    const char* uriHost = g_uri_get_host(uri);
    const bool socks = scheme == "socks" || scheme == "socks4" || scheme == "socks4a" || scheme == "socks5";
    const bool same = socks && uriHost && host == uriHost && g_uri_get_port(uri) == port;
    g_uri_unref(uri);
    return same;
}

}  // namespace

bool CGSettingsProxyStore::Available()
{
    if (!ProxySchemas().Complete())
        return false;
    GSettingsBackend* backend = g_settings_backend_get_default();
    const bool keeps = std::strcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") != 0;
    g_object_unref(backend);
    return keeps;
}

bool CGSettingsProxyStore::Read(const std::string& /*connection*/, DesktopProxySettings& settings)
{
    ProxySchemas schemas;
    if (!schemas.Complete())
        return false;
    DesktopProxySettings read;
    for (const ProxyKey& key : kProxyKeys) {
        // Only what the user set is saved; a key left at its default is reset
        // on restore, so it follows the default as before.
        VariantPtr value(g_settings_get_user_value(schemas.Settings(key), key.key));
        read[key.name] = value ? TakeText(g_variant_print(value.get(), TRUE)) : std::string();
    }
    settings = read;
    return true;
}

DesktopProxySettings CGSettingsProxyStore::SocksProxySettings(const DesktopProxySettings& before,
                                                              const std::string& host, int port) const
{
    // Values GSettings would refuse with a critical warning are refused here.
    if (port < 1 || port > 65535 || !g_utf8_validate(host.c_str(), -1, nullptr))
        return {};
    ProxySchemas schemas;
    if (!schemas.Complete())
        return {};

    std::vector<const char*> bypass;
    const std::vector<std::string> hosts = BypassWithLoopback(schemas, before);
    for (const std::string& entry : hosts)
        bypass.push_back(entry.c_str());

    // In manual mode the HTTP, HTTPS and FTP hosts (or one host for all with
    // use-same-proxy) take precedence over the SOCKS host, so they are emptied.
    const std::map<std::string, GVariant*> values = {
        {"http.host", g_variant_new_string("")},
        {"https.host", g_variant_new_string("")},
        {"ftp.host", g_variant_new_string("")},
        {"use-same-proxy", g_variant_new_boolean(FALSE)},
        {"autoconfig-url", g_variant_new_string("")},
        {"ignore-hosts", g_variant_new_strv(bypass.data(), static_cast<gssize>(bypass.size()))},
        {"socks.host", g_variant_new_string(host.c_str())},
        {"socks.port", g_variant_new_int32(port)},
        {"mode", g_variant_new_string("manual")},
    };
    // Printed as Read prints what the user set.
    DesktopProxySettings settings;
    for (const auto& [name, floating] : values) {
        const VariantPtr value(g_variant_ref_sink(floating));
        settings[name] = TakeText(g_variant_print(value.get(), TRUE));
    }
    return settings;
}

bool CGSettingsProxyStore::WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before,
                                           const std::string& host, int port)
{
    const DesktopProxySettings settings = SocksProxySettings(before, host, port);
    return !settings.empty() && Write(connection, settings);
}

bool CGSettingsProxyStore::Write(const std::string& /*connection*/, const DesktopProxySettings& settings)
{
    ProxySchemas schemas;
    if (!schemas.Complete())
        return false;
    schemas.Delay();
    bool written = true;
    for (const ProxyKey& key : kProxyKeys) {
        const auto found = settings.find(key.name);
        // A key the saved settings lack was at its default.
        written = written && schemas.Set(key, found != settings.end() ? found->second : std::string());
    }
    if (!written) {
        schemas.Revert();
        return false;
    }
    schemas.Apply();
    return true;
}

bool CGSettingsProxyStore::WriteDirect(const std::string& /*connection*/)
{
    ProxySchemas schemas;
    return schemas.Complete() && schemas.Set(Key("mode"), "'none'");
}

bool CGSettingsProxyStore::HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host,
                                           int port) const
{
    const auto value = [&settings](const char* name) {
        const auto found = settings.find(name);
        return found != settings.end() ? found->second : std::string();
    };
    return value("mode") == "'manual'" && value("socks.host") == PrintedString(host)
           && value("socks.port") == std::to_string(port);
}

std::string CGSettingsProxyStore::CheckSocksProxy(const std::string& host, int port)
{
    const bool gnomeOnly = check_ == Check::GnomeResolver;
    GProxyResolver* resolver = NewDesktopResolver(gnomeOnly);
    if (!resolver)
        return gnomeOnly ? "GNOME's proxy resolver (glib-networking) is missing, so GNOME's proxy settings "
                           "cannot be checked"
                         : "the desktop has no proxy resolver";
    std::string problem;
    for (const char* uri : kCheckedUris) {
        const std::string scheme = std::string(uri, std::strchr(uri, ':'));
        GError* error = nullptr;
        gchar** proxies = g_proxy_resolver_lookup(resolver, uri, nullptr, &error);
        if (!proxies) {
            problem = scheme + ":// pages cannot be resolved (" + (error ? error->message : "") + ")";
            g_clear_error(&error);
        } else if (!proxies[0]) {
            problem = scheme + ":// pages go nowhere";
        }
        for (gchar** proxy = proxies; problem.empty() && proxy && *proxy; ++proxy)
            if (!IsSocksProxyUri(*proxy, host, port))
                problem = scheme + ":// pages go to " + *proxy;
        g_strfreev(proxies);
        if (!problem.empty())
            break;
    }
    g_object_unref(resolver);
    return problem;
}

void CGSettingsProxyStore::NotifySettingsChanged()
{
    // Writes may still be queued in the backend (dconf); flush them so other
    // programs see the change at once.
    g_settings_sync();
}
