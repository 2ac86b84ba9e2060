#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "browser/systemproxy.h"
#include "data/windowmessages.h"
#include "support/fakenetwork.h"
#include "support/tempdir.h"

namespace {

// GSettings reads its backend and config folder once, so the sandbox is set
// up before main: the keyfile backend in a fresh folder, never the user's settings.
TempDir& ConfigHome() {
    static TempDir dir;
    return dir;
}
const bool sandboxed = [] {
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", ConfigHome().Path().c_str(), 1);
    return true;
}();

using Message = std::tuple<int, long long, long long>;

struct RecordingTarget : IMessageTarget {
    void PostMessage(int message, long long wParam, long long lParam) override {
        messages.emplace_back(message, wParam, lParam);
    }
    std::vector<Message> messages;
};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

std::unique_ptr<GSettings, ObjectUnref> Settings(const char* schema) {
    return std::unique_ptr<GSettings, ObjectUnref>(g_settings_new(schema));
}

std::string StringKey(const char* schema, const char* key) {
    gchar* value = g_settings_get_string(Settings(schema).get(), key);
    std::string text = value;
    g_free(value);
    return text;
}

// A value as the keyfile backend stored it on disk, in GVariant text form.
std::string KeyfileValue(const char* group, const char* key) {
    std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> file(g_key_file_new(), g_key_file_free);
    const std::string path = ConfigHome().Path() + "/glib-2.0/settings/keyfile";
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr))
        return "<no keyfile>";
    gchar* value = g_key_file_get_value(file.get(), group, key, nullptr);
    std::string text = value ? value : "<missing>";
    g_free(value);
    return text;
}

CProxy Proxy(const char* ip, int port) { return CProxy(ip, port, 5, 1, 4, 300); }

class SystemProxyTest : public ::testing::Test {
protected:
    void SetUp() override { MainWindowHandle() = &target; }
    void TearDown() override { MainWindowHandle() = nullptr; }

    RecordingTarget target;
    HideState state;
};

TEST_F(SystemProxyTest, ApplyPointsTheDesktopAtTheSocksProxy) {
    ASSERT_TRUE(sandboxed);
    FakeNetwork network;
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080)));

    EXPECT_TRUE(state.hidden);
    EXPECT_EQ(Proxy("127.0.0.2", 1080), state.proxy);
    EXPECT_EQ(std::vector<Message>{Message(kMsgProxyApplied, 0, -1)}, target.messages);

    EXPECT_EQ("manual", StringKey("org.gnome.system.proxy", "mode"));
    EXPECT_EQ("127.0.0.2", StringKey("org.gnome.system.proxy.socks", "host"));
    EXPECT_EQ(1080, g_settings_get_int(Settings("org.gnome.system.proxy.socks").get(), "port"));

    // Written through to disk at once, where other programs read it.
    EXPECT_EQ("'manual'", KeyfileValue("system/proxy", "mode"));
    EXPECT_EQ("['local']", KeyfileValue("system/proxy", "ignore-hosts"));
    EXPECT_EQ("'127.0.0.2'", KeyfileValue("system/proxy/socks", "host"));
    EXPECT_EQ("1080", KeyfileValue("system/proxy/socks", "port"));
}

TEST_F(SystemProxyTest, SecondApplyReplacesTheFirstAndRestoreKeepsTheAddress) {
    FakeNetwork network;
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080)));
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.3", 9050)));
    EXPECT_EQ(Proxy("127.0.0.3", 9050), state.proxy);
    EXPECT_EQ("'127.0.0.3'", KeyfileValue("system/proxy/socks", "host"));
    EXPECT_EQ("9050", KeyfileValue("system/proxy/socks", "port"));

    ASSERT_TRUE(RestoreSystemProxy(state));
    EXPECT_FALSE(state.hidden);
    EXPECT_EQ(Proxy("127.0.0.3", 9050), state.proxy);
    EXPECT_EQ("none", StringKey("org.gnome.system.proxy", "mode"));
    EXPECT_EQ("127.0.0.3", StringKey("org.gnome.system.proxy.socks", "host"));
    EXPECT_EQ("9050", KeyfileValue("system/proxy/socks", "port"));
    ASSERT_EQ(3u, target.messages.size());
    EXPECT_EQ(Message(kMsgProxyRestored, 0, 0), target.messages.back());
}

TEST_F(SystemProxyTest, RestoreWithoutProxyOrNetworkChangesNothing) {
    FakeNetwork lan;
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080)));
    target.messages.clear();
    HideState notHidden;
    EXPECT_FALSE(RestoreSystemProxy(notHidden));

    FakeNetwork offline(FakeNetwork::Offline());
    EXPECT_FALSE(ApplySystemProxy(state, Proxy("127.0.0.3", 9050)));
    EXPECT_FALSE(RestoreSystemProxy(state));
    EXPECT_TRUE(state.hidden);
    EXPECT_EQ(Proxy("127.0.0.2", 1080), state.proxy);
    EXPECT_TRUE(target.messages.empty());
    EXPECT_EQ("manual", StringKey("org.gnome.system.proxy", "mode"));
    EXPECT_EQ("127.0.0.2", StringKey("org.gnome.system.proxy.socks", "host"));
}

// Records what the operations ask of the store, and fails writes on request.
struct RecordingStore : ISystemProxyStore {
    bool WriteProxy(const std::string& connection, const std::string& host, int port,
                    const std::string& bypass) override {
        calls.push_back("proxy[" + connection + "] " + host + ":" + std::to_string(port) + " " + bypass);
        return succeed;
    }
    bool WriteDirect(const std::string& connection) override {
        calls.push_back("direct[" + connection + "]");
        return succeed;
    }
    void NotifySettingsChanged() override { calls.push_back("changed"); }
    void Refresh() override { calls.push_back("refresh"); }

    bool succeed = true;
    std::vector<std::string> calls;
};

TEST_F(SystemProxyTest, ConnectionNameAndAnnouncementsReachTheStore) {
    RecordingStore store;
    SetSystemProxyStoreForTest(&store);
    {
        FakeNetwork dialUp(FakeNetwork::DialUp());
        ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080)));
        ASSERT_TRUE(RestoreSystemProxy(state));
    }
    {
        // LAN and dial-up both up: the LAN settings (no name) are the active ones.
        std::vector<NetworkInterface> both = FakeNetwork::DialUp();
        both.push_back({"eth0", true, false, "192.0.2.10"});
        FakeNetwork network(both);
        ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.3", 9050)));
    }
    const std::vector<std::string> expected = {
        "proxy[ppp0] 127.0.0.2:1080 local", "changed", "refresh",
        "direct[ppp0]", "changed", "refresh",
        "proxy[] 127.0.0.3:9050 local", "changed", "refresh"};
    EXPECT_EQ(expected, store.calls);

    // A failed write still announces the change but leaves the state alone.
    store.calls.clear();
    target.messages.clear();
    store.succeed = false;
    FakeNetwork network;
    EXPECT_FALSE(ApplySystemProxy(state, Proxy("127.0.0.4", 1081)));
    EXPECT_FALSE(RestoreSystemProxy(state));
    EXPECT_TRUE(state.hidden);
    EXPECT_EQ(Proxy("127.0.0.3", 9050), state.proxy);
    EXPECT_TRUE(target.messages.empty());
    EXPECT_EQ(6u, store.calls.size());
    SetSystemProxyStoreForTest(nullptr);
}

}  // namespace
