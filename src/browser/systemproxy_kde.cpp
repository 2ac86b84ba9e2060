#include "browser/systemproxy_kde.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "browser/kioslavercfile.h"

namespace {

// KIO's proxy types (KProtocolManager::ProxyType).
constexpr int kNoProxy = 0;
constexpr int kManualProxy = 1;
constexpr int kPacProxy = 2;
constexpr int kWpadProxy = 3;
constexpr int kEnvVarProxy = 4;

// Every key Hide IP writes; Write gives each back as it was.
constexpr const char* kProxyKeys[] = {"httpProxy",  "httpsProxy",        "ftpProxy", "socksProxy",
                                      "NoProxyFor", "ReversedException", "ProxyType"};
// Whether the file existed, and whether its last line had a line break.
constexpr const char* kFileKey = "file";
constexpr const char* kFilePresent = "present";
constexpr const char* kFileWithoutFinalNewline = "present without final newline";
// Whether the file had a proxy group.
constexpr const char* kGroupKey = "group";
constexpr const char* kGroupPresent = "present";

// Loopback stays direct while a proxy is applied. KIO splits NoProxyFor at
// commas and reads address ranges; Chromium splits at commas and blanks.
constexpr const char* kLoopbackHosts[] = {"localhost", "127.0.0.0/8", "::1"};

// Pages whose route is checked after applying; example.com is reserved for
// documentation, and reading the file sends nothing anywhere.
constexpr const char* kCheckedSchemes[] = {"http", "https", "ftp"};
constexpr const char* kCheckedHost = "www.example.com";

std::string Saved(const DesktopProxySettings& settings, const char* key)
{
    const auto found = settings.find(key);
    return found != settings.end() ? found->second : std::string();
}

// A number as KDE's readers take it: anything else counts as 0.
int NumberOf(const std::string& text)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0' ? static_cast<int>(value) : 0;
}

std::vector<std::string> Tokens(const std::string& text, const char* separators)
{
    std::vector<std::string> tokens;
    gchar** parts = g_strsplit_set(text.c_str(), separators, -1);
    for (gchar** part = parts; *part; ++part)
        if (**part)
            tokens.emplace_back(*part);
    g_strfreev(parts);
    return tokens;
}

// The user's no-proxy list followed by the loopback entries it lacks. Under
// KIO's environment-variable type the list names a variable, not hosts, so
// it is not taken over.
std::string BypassWithLoopback(const DesktopProxySettings& before)
{
    const bool namesVariable = NumberOf(CKioslavercFile::ValueOf(Saved(before, "ProxyType"))) == kEnvVarProxy;
    std::string list = namesVariable ? std::string() : CKioslavercFile::ValueOf(Saved(before, "NoProxyFor"));
    const std::vector<std::string> present = Tokens(list, ", ");
    for (const char* loopback : kLoopbackHosts) {
        if (std::find(present.begin(), present.end(), loopback) != present.end())
            continue;
        if (!list.empty())
            list += ',';
        list += loopback;
    }
    return list;
}

// A proxy entry the way Chromium's KDE reader reads it: "socks://host 1080"
// (KDE's own form, host and port apart) or "socks://host:1080"; the scheme
// and any user name are dropped. Empty when the entry names no proxy.
struct ProxyEntry {
    std::string scheme;
    std::string hostAndPort;
};
ProxyEntry ProxyEntryOf(const std::string& value)
{
    if (value.empty() || value.rfind("//:", 0) == 0)
        return {};
    std::string text = value;
    const size_t space = text.find(' ');
    if (space != std::string::npos)
        text[space] = ':';
    ProxyEntry entry;
    const size_t schemeEnd = text.find("://");
    if (schemeEnd != std::string::npos) {
        entry.scheme = text.substr(0, schemeEnd);
        std::transform(entry.scheme.begin(), entry.scheme.end(), entry.scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(g_ascii_tolower(c)); });
        text = text.substr(schemeEnd + 3);
    }
    const size_t at = text.find('@');
    if (at != std::string::npos)
        text = text.substr(at + 1);
    if (!text.empty() && text.back() == '/')
        text.pop_back();
    entry.hostAndPort = text;
    return entry;
}

// Whether Chromium's reading of NoProxyFor sends host around the proxy:
// each host entry matches as a suffix; address ranges and "<...>" rules do
// not match a host name with dots.
bool Bypassed(const std::string& list, const std::string& host)
{
    for (std::string rule : Tokens(list, ", ")) {
        if (rule[0] == '<' || rule.find('/') != std::string::npos)
            continue;
        if (rule[0] != '*')
            rule = "*" + rule;
        gchar* pattern = g_ascii_strdown(rule.c_str(), -1);
        const bool match = g_pattern_match_simple(pattern, host.c_str());
        g_free(pattern);
        if (match)
            return true;
    }
    return false;
}

// Where a reader of the file sends a page of the scheme on kCheckedHost:
// "socks5://host:port", "http://host:port", "direct://" or a description.
std::string RouteFor(const CKioslavercFile& file, const std::string& scheme)
{
    switch (NumberOf(file.Value("ProxyType"))) {
    case kManualProxy: break;
    case kPacProxy: return "the proxy script " + file.Value("Proxy Config Script");
    case kWpadProxy: return "the automatically detected proxy";
    case kEnvVarProxy: return "the proxies named by environment variables";
    case kNoProxy:
    default: return "direct://";
    }
    const std::string reversed = file.Value("ReversedException");
    // A reversed list names the only hosts that use the proxy.
    if (reversed == "true" || NumberOf(reversed) != 0 || Bypassed(file.Value("NoProxyFor"), kCheckedHost))
        return "direct://";
    const ProxyEntry own = ProxyEntryOf(file.Value(scheme + "Proxy"));
    const ProxyEntry socks = ProxyEntryOf(file.Value("socksProxy"));
    // A scheme without a proxy of its own falls back to the SOCKS proxy.
    if (!own.hostAndPort.empty())
        return "http://" + own.hostAndPort;
    if (socks.hostAndPort.empty())
        return "direct://";
    return (socks.scheme == "socks4" ? "socks4://" : "socks5://") + socks.hostAndPort;
}

bool IsSocksRoute(const std::string& route, const std::string& host, int port)
{
    const std::string hostAndPort = host + ":" + std::to_string(port);
    return route == "socks5://" + hostAndPort || route == "socks4://" + hostAndPort;
}

std::string HomeConfigFolder()
{
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : g_get_home_dir()) + "/.config";
}

// Chromium's KDE reader reads ~/.config/kioslaverc, whatever XDG_CONFIG_HOME says.
std::string ChromiumKioslavercPath()
{
    return HomeConfigFolder() + "/kioslaverc";
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::unique_ptr<char, decltype(&std::free)> realA(realpath(a.c_str(), nullptr), &std::free);
    std::unique_ptr<char, decltype(&std::free)> realB(realpath(b.c_str(), nullptr), &std::free);
    return realA && realB ? std::string(realA.get()) == realB.get() : a == b;
}

}  // namespace

std::string KioslavercPath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return (config && config[0] == '/' ? std::string(config) : HomeConfigFolder()) + "/kioslaverc";
}

namespace {

// The settings as Read gives them from file, which `existed` says was on disk.
DesktopProxySettings SettingsOf(const CKioslavercFile& file, bool existed)
{
    DesktopProxySettings read;
    read[kFileKey] = !existed ? "" : file.EndsWithNewline() ? kFilePresent : kFileWithoutFinalNewline;
    read[kGroupKey] = file.HasProxyGroup() ? kGroupPresent : "";
    for (const char* key : kProxyKeys)
        read[key] = file.Line(key);
    return read;
}

// Loads kioslaverc and changes it, in memory, to send all traffic through
// host:port; false when the file cannot be read or the entry would not mean
// that proxy.
bool LoadWithSocksProxy(CKioslavercFile& file, const DesktopProxySettings& before, const std::string& host, int port)
{
    // A blank, comma or line break would change what the entry means.
    if (port < 1 || port > 65535 || host.empty() || host.find_first_of(" ,\t\r\n") != std::string::npos)
        return false;
    if (!file.Load(KioslavercPath()))
        return false;
    // In manual mode the HTTP, HTTPS and FTP proxies take precedence over the
    // SOCKS proxy, so they are emptied; the mode goes last.
    for (const char* key : {"httpProxy", "httpsProxy", "ftpProxy"})
        file.SetLine(key, std::string(key) + "=");
    file.SetLine("socksProxy", "socksProxy=socks://" + host + " " + std::to_string(port));
    file.SetLine("NoProxyFor", "NoProxyFor=" + BypassWithLoopback(before));
    if (!file.Line("ReversedException").empty())
        file.SetLine("ReversedException", "ReversedException=false");
    file.SetLine("ProxyType", "ProxyType=" + std::to_string(kManualProxy));
    return true;
}

}  // namespace

bool CKdeProxyStore::Read(const std::string& /*connection*/, DesktopProxySettings& settings)
{
    CKioslavercFile file;
    if (!file.Load(KioslavercPath()))
        return false;
    settings = SettingsOf(file, file.Exists());
    return true;
}

bool CKdeProxyStore::WriteSocksProxy(const std::string& /*connection*/, const DesktopProxySettings& before,
                                     const std::string& host, int port)
{
    CKioslavercFile file;
    return LoadWithSocksProxy(file, before, host, port) && file.Save();
}

DesktopProxySettings CKdeProxyStore::SocksProxySettings(const DesktopProxySettings& before, const std::string& host,
                                                        int port) const
{
    // Writing the proxy again changes nothing, so the file as it is now
    // gives the same settings whether or not the proxy has been written.
    CKioslavercFile file;
    return LoadWithSocksProxy(file, before, host, port) ? SettingsOf(file, true) : DesktopProxySettings();
}

bool CKdeProxyStore::Write(const std::string& /*connection*/, const DesktopProxySettings& settings)
{
    CKioslavercFile file;
    if (!file.Load(KioslavercPath()))
        return false;
    for (const char* key : kProxyKeys) {
        const std::string line = Saved(settings, key);
        if (line.empty())
            file.RemoveKey(key);
        else
            file.SetLine(key, line);
    }
    if (Saved(settings, kGroupKey).empty())
        file.RemoveProxyGroupIfEmpty();
    const std::string existed = Saved(settings, kFileKey);
    if (existed == kFileWithoutFinalNewline)
        file.DropFinalNewline();
    // A file the program created and nobody else wrote to goes again.
    if (existed.empty() && file.Empty())
        return file.Remove();
    return file.Save();
}

bool CKdeProxyStore::WriteDirect(const std::string& /*connection*/)
{
    CKioslavercFile file;
    if (!file.Load(KioslavercPath()))
        return false;
    file.SetLine("ProxyType", "ProxyType=" + std::to_string(kNoProxy));
    return file.Save();
}

bool CKdeProxyStore::HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host, int port) const
{
    const ProxyEntry socks = ProxyEntryOf(CKioslavercFile::ValueOf(Saved(settings, "socksProxy")));
    return NumberOf(CKioslavercFile::ValueOf(Saved(settings, "ProxyType"))) == kManualProxy
           && socks.hostAndPort == host + ":" + std::to_string(port);
}

std::string CKdeProxyStore::CheckSocksProxy(const std::string& host, int port)
{
    const std::string written = KioslavercPath();
    std::vector<std::string> readers = {written};
    if (!SameFile(written, ChromiumKioslavercPath()))
        readers.push_back(ChromiumKioslavercPath());
    for (const std::string& path : readers) {
        CKioslavercFile file;
        if (!file.Load(path))
            return path + " cannot be read";
        for (const char* scheme : kCheckedSchemes) {
            const std::string route = RouteFor(file, scheme);
            if (!IsSocksRoute(route, host, port))
                return std::string(scheme) + ":// pages go to " + route
                       + (path == written ? std::string() : " in Chromium, which reads " + path + ",");
        }
    }
    return std::string();
}

void CKdeProxyStore::NotifySettingsChanged()
{
    // Without a session bus there is no running KDE program to tell, and
    // asking GIO for one would start a bus just for this.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool runtimeBus =
        runtime && runtime[0] && g_file_test((std::string(runtime) + "/bus").c_str(), G_FILE_TEST_EXISTS);
    if (!(address && address[0]) && !runtimeBus)
        return;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return;
    // What KDE's proxy settings page sends after saving: KIO's scheduler in
    // every KDE program reloads its worker configuration, proxies included.
    g_dbus_connection_emit_signal(bus, nullptr, "/KIO/Scheduler", "org.kde.KIO.Scheduler", "reparseSlaveConfiguration",
                                  g_variant_new("(s)", ""), nullptr);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}
