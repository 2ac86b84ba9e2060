// One step of a Hide IP on the GSettings keyfile backend, in a process of its
// own, so that a test can kill it half-way and look at what a fresh process
// finds: killedapply_test drives it. Steps:
//   start                 the user's own configuration: a manual HTTP proxy
//                         and a bypass list of their own
//   dump                  prints every key of the proxy schemas (user values only)
//   apply-killed N        applies 127.0.0.2:1080 and is killed (SIGKILL) after
//                         N keys of the proxy's settings have been written
//   settle                what a new run does at start-up, then Restore IP
//                         when it took the proxy over
#include <gio/gio.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "browser/systemproxy.h"
#include "browser/systemproxy_gsettings.h"
#include "support/fakenetwork.h"
#include "support/proxysettings.h"
#include "support/recordingproxylistener.h"

namespace {

// Writes the first `keys` keys of the proxy's settings over what the desktop
// holds, then dies as a killed run would.
struct KilledStore : CGSettingsProxyStore {
    explicit KilledStore(int keys) : keys_(keys) {}
    bool WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before, const std::string& host,
                         int port) override
    {
        DesktopProxySettings partial;
        Read(connection, partial);
        int written = 0;
        for (const auto& [key, value] : SocksProxySettings(before, host, port))
            if (written++ < keys_)
                partial[key] = value;
        Write(connection, partial);
        g_settings_sync();
        raise(SIGKILL);
        return false;
    }
    int keys_;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string step = argc > 1 ? argv[1] : "";
    FakeNetwork network;
    RecordingProxyListener listener;
    HideState state;
    if (step == "start") {
        const bool set =
            SetProxySetting("org.gnome.system.proxy", "mode", "'manual'")
            && SetProxySetting("org.gnome.system.proxy.http", "host", "'127.0.0.9'")
            && SetProxySetting("org.gnome.system.proxy.http", "port", "3128")
            && SetProxySetting("org.gnome.system.proxy", "ignore-hosts", "['*.corp.example', '10.0.0.0/8']");
        return set ? 0 : 5;
    } else if (step == "dump") {
        std::fputs(ProxySettingsDump().c_str(), stdout);
    } else if (step == "apply-killed" && argc > 2) {
        KilledStore store(std::atoi(argv[2]));
        ApplySystemProxy(state, CProxy("127.0.0.2", 1080, 7, 1, 4, 300), SystemProxyContext{store, network, listener});
        return 3;  // not reached: the store kills the process
    } else if (step == "settle") {
        CGSettingsProxyStore store;
        const SystemProxyContext context{store, network, listener};
        if (ResumeAppliedProxy(state, context) && !RestoreSystemProxy(state, context))
            return 4;
        g_settings_sync();
    } else {
        return 2;
    }
    return 0;
}
