// What every system-proxy store promises, run against each: GNOME's settings
// (keyfile backend), KDE's kioslaverc, both joined as on KDE Plasma, and the
// store of a desktop with nothing to change, which fails every read and
// write and changes nothing. Each backend's own file details are tested
// beside it (systemproxy_test, systemproxy_kde_test).
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "browser/systemproxy.h"
#include "browser/systemproxy_composite.h"
#include "browser/systemproxy_gsettings.h"
#include "browser/systemproxy_kde.h"
#include "browser/systemproxy_none.h"
#include "support/fakenetwork.h"
#include "support/proxysettings.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

// One HOME for the whole run, as in a desktop session: GSettings reads its
// backend and config folder once, so they are set before main. kioslaverc
// lies beside the keyfile in $HOME/.config.
TempDir& Home()
{
    static TempDir dir;
    return dir;
}
const bool sandboxed = [] {
    setenv("HOME", Home().Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Home().Path() + "/.config").c_str(), 1);
    setenv("XDG_STATE_HOME", (Home().Path() + "/state").c_str(), 1);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    unsetenv("GIO_USE_PROXY_RESOLVER");
    // No session bus: KIO's reload signal has nobody to reach.
    setenv("DBUS_SESSION_BUS_ADDRESS", "", 1);
    setenv("XDG_RUNTIME_DIR", Home().Path().c_str(), 1);
    return true;
}();

std::string KioslavercText()
{
    std::ifstream file(Home().Path() + "/.config/kioslaverc", std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(no file)";
}

void ResetKioslaverc()
{
    fs::remove(Home().Path() + "/.config/kioslaverc");
}

// A manual HTTP proxy with a bypass list of the user's own.
void SetUserGnomeProxy()
{
    ASSERT_TRUE(SetProxySetting("org.gnome.system.proxy", "mode", "'manual'"));
    ASSERT_TRUE(SetProxySetting("org.gnome.system.proxy.http", "host", "'127.0.0.9'"));
    ASSERT_TRUE(SetProxySetting("org.gnome.system.proxy.http", "port", "3128"));
    ASSERT_TRUE(SetProxySetting("org.gnome.system.proxy", "ignore-hosts", "['intranet.example']"));
}

void SetUserKdeProxy()
{
    fs::create_directories(Home().Path() + "/.config");
    std::ofstream(Home().Path() + "/.config/kioslaverc", std::ios::binary)
        << "[Cookie Policy]\nCookieGlobalAdvice=Accept\n\n[Proxy Settings]\nNoProxyFor=intranet.example\n"
           "ProxyType=1\nhttpProxy=http://127.0.0.9 3128\n";
}

// Each backend: how to make its store, clear it to the desktop's defaults,
// set up a proxy of the user's own, and show everything it keeps.
struct GnomeBackend {
    static constexpr const char* kName = "Gnome";
    static std::unique_ptr<ISystemProxyStore> Make()
    {
        // GIO's GNOME resolver, whatever desktop the tests run on.
        return std::make_unique<CGSettingsProxyStore>(CGSettingsProxyStore::Check::GnomeResolver);
    }
    static void Reset() { ResetProxySettings(); }
    static void SetUserProxy() { SetUserGnomeProxy(); }
    static std::string Dump() { return ProxySettingsDump(); }
};

struct KdeBackend {
    static constexpr const char* kName = "Kde";
    static std::unique_ptr<ISystemProxyStore> Make() { return std::make_unique<CKdeProxyStore>(); }
    static void Reset() { ResetKioslaverc(); }
    static void SetUserProxy() { SetUserKdeProxy(); }
    static std::string Dump() { return KioslavercText(); }
};

struct KdeWithGnomeBackend {
    static constexpr const char* kName = "KdeWithGnome";
    static std::unique_ptr<ISystemProxyStore> Make()
    {
        return std::make_unique<CCompositeProxyStore>(
            CCompositeProxyStore::Part{KdeBackend::Make(), "kde.", "in kioslaverc"},
            CCompositeProxyStore::Part{GnomeBackend::Make(), "gnome.", "in GNOME's"}, "desktop-proxy-kde-gnome");
    }
    static void Reset()
    {
        KdeBackend::Reset();
        GnomeBackend::Reset();
    }
    static void SetUserProxy()
    {
        KdeBackend::SetUserProxy();
        GnomeBackend::SetUserProxy();
    }
    static std::string Dump() { return KdeBackend::Dump() + GnomeBackend::Dump(); }
};

struct NoStoreBackend {
    static constexpr const char* kName = "NoStore";
    static std::unique_ptr<ISystemProxyStore> Make() { return std::make_unique<CNoSystemProxyStore>(); }
    // Nothing to keep; the other stores' files show that nothing was written.
    static void Reset() { KdeWithGnomeBackend::Reset(); }
    static void SetUserProxy() { KdeWithGnomeBackend::SetUserProxy(); }
    static std::string Dump() { return KdeWithGnomeBackend::Dump(); }
};

struct SilentListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override {}
    void OnProxyRestored() override {}
};

// A saved configuration still on disk (state/velmora holds the saved files).
bool SavedConfigurationLeft()
{
    const std::string folder = Home().Path() + "/state/velmora";
    return fs::exists(folder) && !fs::is_empty(folder);
}

constexpr const char* kHost = "127.0.0.2";
constexpr int kPort = 1080;

template <typename Backend>
class StoreContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandboxed);
        fs::remove_all(Home().Path() + "/state");
        Backend::Reset();
        // A store that has a setting must do everything below; one that has
        // none must fail it all.
        hasSetting = made->HasSystemSetting();
    }

    // The desktop's defaults, then a proxy of the user's own.
    template <typename Check>
    void FromEachStart(Check check)
    {
        for (const bool userProxy : {false, true}) {
            SCOPED_TRACE(userProxy ? "the user's own proxy" : "the desktop's defaults");
            Backend::Reset();
            if (userProxy)
                Backend::SetUserProxy();
            check();
        }
    }

    std::unique_ptr<ISystemProxyStore> made = Backend::Make();
    bool hasSetting = false;
    FakeNetwork network;
    SilentListener listener;
    SystemProxyContext context{*made, network, listener};
};

using Backends = ::testing::Types<GnomeBackend, KdeBackend, KdeWithGnomeBackend, NoStoreBackend>;
struct BackendName {
    template <typename Backend>
    static std::string GetName(int)
    {
        return Backend::kName;
    }
};
TYPED_TEST_SUITE(StoreContract, Backends, BackendName);

TYPED_TEST(StoreContract, ASocksProxyWrittenIsHeldAndConfirmed)
{
    ISystemProxyStore& store = *this->made;
    const bool writable = this->hasSetting;
    this->FromEachStart([&] {
        DesktopProxySettings before, after;
        ASSERT_EQ(writable, store.Read("", before));
        EXPECT_FALSE(store.HoldsSocksProxy(before, kHost, kPort));
        EXPECT_NE("", store.CheckSocksProxy(kHost, kPort));

        ASSERT_EQ(writable, store.WriteSocksProxy("", before, kHost, kPort));
        store.NotifySettingsChanged();
        EXPECT_EQ(writable, store.Read("", after));
        EXPECT_EQ(writable, store.HoldsSocksProxy(after, kHost, kPort));
        EXPECT_FALSE(store.HoldsSocksProxy(after, kHost, kPort + 1));
        EXPECT_FALSE(store.HoldsSocksProxy(after, "127.0.0.3", kPort));
        EXPECT_EQ(writable, store.CheckSocksProxy(kHost, kPort).empty()) << store.CheckSocksProxy(kHost, kPort);
        EXPECT_NE("", store.CheckSocksProxy(kHost, kPort + 1));
        // What the store says it writes (for a run killed half-way) is what it wrote.
        for (const auto& [key, value] : store.SocksProxySettings(before, kHost, kPort))
            EXPECT_EQ(value, after[key]) << key;
    });
}

TYPED_TEST(StoreContract, WritingBackWhatWasReadGivesTheStartBack)
{
    ISystemProxyStore& store = *this->made;
    const bool writable = this->hasSetting;
    this->FromEachStart([&] {
        const std::string start = TypeParam::Dump();
        DesktopProxySettings before, again;
        ASSERT_EQ(writable, store.Read("", before));
        EXPECT_EQ(writable, store.WriteSocksProxy("", before, kHost, kPort));
        EXPECT_EQ(writable, store.Write("", before));
        store.NotifySettingsChanged();
        EXPECT_EQ(start, TypeParam::Dump());
        EXPECT_EQ(writable, store.Read("", again));
        EXPECT_EQ(before, again);
    });
}

TYPED_TEST(StoreContract, GoingDirectLeavesNoProxy)
{
    ISystemProxyStore& store = *this->made;
    const bool writable = this->hasSetting;
    this->FromEachStart([&] {
        DesktopProxySettings before, after;
        ASSERT_EQ(writable, store.Read("", before));
        EXPECT_EQ(writable, store.WriteSocksProxy("", before, kHost, kPort));
        EXPECT_EQ(writable, store.WriteDirect(""));
        store.NotifySettingsChanged();
        EXPECT_EQ(writable, store.Read("", after));
        EXPECT_FALSE(store.HoldsSocksProxy(after, kHost, kPort));
        EXPECT_NE("", store.CheckSocksProxy(kHost, kPort));
    });
}

// Through Hide IP: a second apply keeps the user's configuration, a new run
// takes the applied proxy over, and Restore IP gives the start back.
TYPED_TEST(StoreContract, AnAppliedProxyIsTakenOverByTheNextRunAndRestoredToTheStart)
{
    const bool writable = this->hasSetting;
    this->FromEachStart([&] {
        const std::string start = TypeParam::Dump();
        HideState state;
        EXPECT_EQ(writable, ApplySystemProxy(state, CProxy(kHost, kPort, 7, 1, 4, 300), this->context).done);
        EXPECT_EQ(writable, ApplySystemProxy(state, CProxy("127.0.0.3", 9050, 7, 1, 4, 300), this->context).done);

        HideState next;
        EXPECT_EQ(writable, ResumeAppliedProxy(next, this->context));
        EXPECT_EQ(writable, next.hidden);
        if (writable) {
            EXPECT_EQ(CProxy("127.0.0.3", 9050, 7, 1, 4, 300), next.proxy);
            EXPECT_EQ(7, next.proxy.country);
        }
        EXPECT_EQ(writable, RestoreSystemProxy(next, this->context).done);
        EXPECT_FALSE(next.hidden);
        EXPECT_EQ(start, TypeParam::Dump());
        EXPECT_FALSE(SavedConfigurationLeft());
    });
}

}  // namespace
