#include <gio/gio.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "browser/savedproxysettings.h"
#include "browser/systemproxy.h"
#include "browser/systemproxy_gsettings.h"
#include "support/fakenetwork.h"
#include "support/proxysettings.h"
#include "support/tempdir.h"

namespace {

// GSettings reads its backend and config folder once, so the sandbox is set
// up before main: the keyfile backend in a fresh folder, never the user's
// settings, and GIO's GNOME proxy resolver, which reads them.
TempDir& Sandbox()
{
    static TempDir dir;
    return dir;
}
const bool sandboxed = [] {
    // Freed memory is filled at once, so a value read after its free fails
    // here instead of passing while the allocator happens to leave it alone.
    mallopt(M_PERTURB, 0xa5);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", Sandbox().Path().c_str(), 1);
    setenv("XDG_STATE_HOME", (Sandbox().Path() + "/state").c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    unsetenv("GIO_USE_PROXY_RESOLVER");
    return true;
}();

struct RecordingListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override { calls.emplace_back("applied"); }
    void OnProxyRestored() override { calls.emplace_back("restored"); }
    std::vector<std::string> calls;
};

void Set(const char* schema, const char* key, const char* text)
{
    ASSERT_TRUE(SetProxySetting(schema, key, text)) << text;
}

bool SavedFileExists()
{
    return std::ifstream(SavedProxySettingsPath()).good();
}

CProxy Proxy(const char* ip, int port)
{
    return CProxy(ip, port, 5, 1, 4, 300);
}

class SystemProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandboxed);
        ResetProxySettings();
        RemoveSavedProxySettings(SavedProxySettingsPath());
    }

    // Applies and checks that every request goes to the SOCKS proxy, that
    // loopback stays direct, and that Restore IP gives back the start exactly.
    void ApplyAndRestore(const std::string& userBypass)
    {
        const std::string start = ProxySettingsDump();
        const ProxyChange applied = ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context);
        ASSERT_TRUE(applied) << applied.problem;
        EXPECT_TRUE(state.hidden);
        EXPECT_EQ(Proxy("127.0.0.2", 1080), state.proxy);
        EXPECT_EQ("'manual'", ProxySetting("org.gnome.system.proxy", "mode"));
        EXPECT_EQ("'127.0.0.2'", ProxySetting("org.gnome.system.proxy.socks", "host"));
        EXPECT_EQ("1080", ProxySetting("org.gnome.system.proxy.socks", "port"));
        for (const char* child : {"http", "https", "ftp"})
            EXPECT_EQ("''", ProxySetting((std::string("org.gnome.system.proxy.") + child).c_str(), "host")) << child;
        EXPECT_EQ("false", ProxySetting("org.gnome.system.proxy", "use-same-proxy"));
        EXPECT_EQ(userBypass, ProxySetting("org.gnome.system.proxy", "ignore-hosts"));
        EXPECT_TRUE(SavedFileExists());

        ASSERT_TRUE(RestoreSystemProxy(state, context));
        EXPECT_FALSE(state.hidden);
        EXPECT_EQ(start, ProxySettingsDump());
        EXPECT_FALSE(SavedFileExists());
        EXPECT_EQ((std::vector<std::string>{"applied", "restored"}), listener.calls);
    }

    FakeNetwork network;
    RecordingListener listener;
    // GSettings whatever desktop the tests run on.
    CGSettingsProxyStore gsettings;
    SystemProxyContext context{gsettings, network, listener};
    HideState state;
};

TEST_F(SystemProxyTest, ApplyAndRestoreFromEachStartingState)
{
    // A clean desktop: GNOME's default bypass list already holds loopback.
    ApplyAndRestore("['localhost', '127.0.0.0/8', '::1']");

    // HTTP and HTTPS proxies left over with mode 'none' would win in manual mode.
    listener.calls.clear();
    Set("org.gnome.system.proxy.http", "host", "'127.0.0.9'");
    Set("org.gnome.system.proxy.http", "port", "3128");
    Set("org.gnome.system.proxy.https", "host", "'127.0.0.9'");
    Set("org.gnome.system.proxy", "use-same-proxy", "true");
    Set("org.gnome.system.proxy", "ignore-hosts", "['intranet.example', '::1']");
    ApplyAndRestore("['intranet.example', '::1', 'localhost', '127.0.0.0/8']");

    // An autoconfiguration set-up.
    listener.calls.clear();
    Set("org.gnome.system.proxy", "mode", "'auto'");
    Set("org.gnome.system.proxy", "autoconfig-url", "'http://127.0.0.9/proxy.pac'");
    ApplyAndRestore("['intranet.example', '::1', 'localhost', '127.0.0.0/8']");

    // The user's own SOCKS proxy in manual mode.
    listener.calls.clear();
    Set("org.gnome.system.proxy", "mode", "'manual'");
    Set("org.gnome.system.proxy.socks", "host", "'127.0.0.8'");
    Set("org.gnome.system.proxy.socks", "port", "9050");
    ApplyAndRestore("['intranet.example', '::1', 'localhost', '127.0.0.0/8']");

    // A manual HTTP proxy with a bypass list of the user's own.
    listener.calls.clear();
    Set("org.gnome.system.proxy", "mode", "'manual'");
    Set("org.gnome.system.proxy", "ignore-hosts", "['*.corp.example', '10.0.0.0/8']");
    ApplyAndRestore("['*.corp.example', '10.0.0.0/8', 'localhost', '127.0.0.0/8', '::1']");
}

// Taking an ended run's proxy over is part of every store's contract
// (systemproxy_contract_test); here the cases where it is not taken over.
TEST_F(SystemProxyTest, AnEndedRunsSavedConfigurationIsSettled)
{
    Set("org.gnome.system.proxy.http", "host", "'127.0.0.9'");
    HideState none;

    // The user set the desktop up anew while no run was there: that choice stands.
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    Set("org.gnome.system.proxy", "mode", "'none'");
    const std::string userChoice = ProxySettingsDump();
    EXPECT_FALSE(ResumeAppliedProxy(none, context));
    EXPECT_FALSE(none.hidden);
    EXPECT_FALSE(SavedFileExists());
    EXPECT_EQ(userChoice, ProxySettingsDump());

    // The proxy is still written but the desktop's programs no longer follow
    // it: the saved configuration comes back.
    state = HideState();
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    setenv("XDG_CURRENT_DESKTOP", "", 1);
    EXPECT_FALSE(ResumeAppliedProxy(none, context));
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    EXPECT_FALSE(none.hidden);
    EXPECT_EQ(userChoice, ProxySettingsDump());
    EXPECT_FALSE(SavedFileExists());
}

TEST_F(SystemProxyTest, AProxyTheResolverDoesNotConfirmIsUndoneAndExplained)
{
    // Outside GNOME, GIO's programs do not read these settings.
    Set("org.gnome.system.proxy.http", "host", "'127.0.0.9'");
    const std::string start = ProxySettingsDump();
    setenv("XDG_CURRENT_DESKTOP", "", 1);
    ProxyChange refused = ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context);
    EXPECT_FALSE(refused);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    EXPECT_EQ("http:// pages go to direct://", refused.bypass);
    EXPECT_FALSE(state.hidden);
    EXPECT_EQ(start, ProxySettingsDump());
    EXPECT_FALSE(SavedFileExists());
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(SystemProxyTest, OnlyValidAddressesArePutIntoEffectAndOnlyWhenOnline)
{
    const std::string start = ProxySettingsDump();
    for (const CProxy& bad : {Proxy("", 1080), Proxy("256.1.1.1", 1080), Proxy("127.0.0.2", 0),
                              Proxy("127.0.0.2", 70000), Proxy("localhost", 1080)})
        EXPECT_FALSE(ApplySystemProxy(state, bad, context)) << bad.ip << ":" << bad.port;
    {
        FakeNetwork offline(FakeNetwork::Offline());
        EXPECT_FALSE(
            ApplySystemProxy(state, Proxy("127.0.0.2", 1080), SystemProxyContext{gsettings, offline, listener}));
    }
    EXPECT_EQ(start, ProxySettingsDump());
    EXPECT_FALSE(SavedFileExists());
    EXPECT_FALSE(state.hidden);

    // Restore without a proxy applied changes nothing; offline it restores,
    // since the settings need no connection.
    EXPECT_FALSE(RestoreSystemProxy(state, context));
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    {
        FakeNetwork offline(FakeNetwork::Offline());
        EXPECT_TRUE(RestoreSystemProxy(state, SystemProxyContext{gsettings, offline, listener}));
    }
    EXPECT_FALSE(state.hidden);
    EXPECT_EQ(start, ProxySettingsDump());
}

TEST_F(SystemProxyTest, ASavedConfigurationThatCannotBeWrittenStopsTheApply)
{
    // The state folder is a file: the way back cannot be kept on disk.
    TempDir blocked;
    const std::string file = blocked.WriteFile("state", "");
    setenv("XDG_STATE_HOME", file.c_str(), 1);
    const std::string start = ProxySettingsDump();
    EXPECT_FALSE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    setenv("XDG_STATE_HOME", (Sandbox().Path() + "/state").c_str(), 1);
    EXPECT_EQ(start, ProxySettingsDump());
    EXPECT_FALSE(state.hidden);
}

// Records what the operations ask of the store, and fails writes on request.
struct RecordingStore : ISystemProxyStore {
    bool Read(const std::string& connection, DesktopProxySettings& settings) override
    {
        calls.push_back("read[" + connection + "]");
        settings = {{"mode", "'none'"}};
        return true;
    }
    bool WriteSocksProxy(const std::string& connection, const DesktopProxySettings&, const std::string& host,
                         int port) override
    {
        calls.push_back("proxy[" + connection + "] " + host + ":" + std::to_string(port));
        return succeed;
    }
    bool Write(const std::string& connection, const DesktopProxySettings& settings) override
    {
        calls.push_back("write[" + connection + "] mode=" + settings.at("mode"));
        return true;
    }
    bool WriteDirect(const std::string& connection) override
    {
        calls.push_back("direct[" + connection + "]");
        return true;
    }
    bool HoldsSocksProxy(const DesktopProxySettings&, const std::string&, int) const override { return true; }
    std::string CheckSocksProxy(const std::string&, int) override { return std::string(); }
    void NotifySettingsChanged() override { calls.push_back("changed"); }

    bool succeed = true;
    std::vector<std::string> calls;
};

TEST_F(SystemProxyTest, TheConnectionAppliedToIsTheOneRestored)
{
    RecordingStore store;
    {
        FakeNetwork dialUp(FakeNetwork::DialUp());
        ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), SystemProxyContext{store, dialUp, listener}));
    }
    // The LAN came up meanwhile; the dial-up settings are the ones changed.
    std::vector<NetworkInterface> both = FakeNetwork::DialUp();
    both.push_back({"eth0", true, false, "192.0.2.10"});
    FakeNetwork lan(both);
    ASSERT_TRUE(RestoreSystemProxy(state, SystemProxyContext{store, lan, listener}));
    EXPECT_EQ((std::vector<std::string>{"read[ppp0]", "proxy[ppp0] 127.0.0.2:1080", "changed",
                                        "write[ppp0] mode='none'", "changed", "read[ppp0]"}),
              store.calls);

    // A failed write puts the saved settings back and changes no state.
    store.calls.clear();
    store.succeed = false;
    EXPECT_FALSE(ApplySystemProxy(state, Proxy("127.0.0.4", 1081), SystemProxyContext{store, lan, listener}));
    EXPECT_FALSE(state.hidden);
    EXPECT_FALSE(SavedFileExists());
    EXPECT_EQ((std::vector<std::string>{"read[]", "proxy[] 127.0.0.4:1081", "changed", "write[] mode='none'", "changed",
                                        "read[]"}),
              store.calls);

    // With the saved file lost, Restore IP can only go direct.
    store.succeed = true;
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.4", 1081), SystemProxyContext{store, lan, listener}));
    RemoveSavedProxySettings(SavedProxySettingsPath());
    store.calls.clear();
    ASSERT_TRUE(RestoreSystemProxy(state, SystemProxyContext{store, lan, listener}));
    EXPECT_EQ((std::vector<std::string>{"direct[]", "changed"}), store.calls);
}

}  // namespace
