// Hide IP on KDE Plasma with GNOME's proxy settings beside kioslaverc: both
// stores written, checked, restored and undone together. The keyfile
// backend and kioslaverc live in one temporary HOME, as in a KDE session;
// XDG_CURRENT_DESKTOP=KDE, where GIO would not pick its GNOME resolver.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "browser/kioslavercfile.h"
#include "browser/savedproxysettings.h"
#include "browser/systemproxy.h"
#include "browser/systemproxy_composite.h"
#include "browser/systemproxy_desktop.h"
#include "browser/systemproxy_gsettings.h"
#include "browser/systemproxy_kde.h"
#include "support/fakenetwork.h"
#include "support/proxysettings.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

// GSettings reads its backend and config folder once: set before main.
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
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    unsetenv("GIO_USE_PROXY_RESOLVER");
    setenv("DBUS_SESSION_BUS_ADDRESS", "", 1);
    setenv("XDG_RUNTIME_DIR", Home().Path().c_str(), 1);
    return true;
}();

const std::string kKioslaverc = "[Cookie Policy]\nCookieGlobalAdvice=Accept\n\n[Proxy Settings]\nNoProxyFor=intranet\n"
                                "ProxyType=0\nhttpProxy=http://127.0.0.9 3128";

struct SilentListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override {}
    void OnProxyRestored() override {}
};

// Runs a real store, failing the proxy's write or check on demand.
class FailingStore : public ISystemProxyStore {
public:
    explicit FailingStore(std::unique_ptr<ISystemProxyStore> real) : real_(std::move(real)) {}
    bool failWrite = false;
    bool failCheck = false;

    std::string SavedSettingsName() const override { return real_->SavedSettingsName(); }
    bool Read(const std::string& c, DesktopProxySettings& s) override { return real_->Read(c, s); }
    bool WriteSocksProxy(const std::string& c, const DesktopProxySettings& b, const std::string& h, int p) override
    {
        return !failWrite && real_->WriteSocksProxy(c, b, h, p);
    }
    DesktopProxySettings SocksProxySettings(const DesktopProxySettings& b, const std::string& h, int p) const override
    {
        return real_->SocksProxySettings(b, h, p);
    }
    bool Write(const std::string& c, const DesktopProxySettings& s) override { return real_->Write(c, s); }
    bool WriteDirect(const std::string& c) override { return real_->WriteDirect(c); }
    bool HoldsSocksProxy(const DesktopProxySettings& s, const std::string& h, int p) const override
    {
        return real_->HoldsSocksProxy(s, h, p);
    }
    std::string CheckSocksProxy(const std::string& h, int p) override
    {
        return failCheck ? "http:// pages go to direct://" : real_->CheckSocksProxy(h, p);
    }
    void NotifySettingsChanged() override { real_->NotifySettingsChanged(); }

private:
    std::unique_ptr<ISystemProxyStore> real_;
};

std::string KioslavercPathText()
{
    return Home().Path() + "/.config/kioslaverc";
}

std::string Kioslaverc()
{
    std::ifstream file(KioslavercPathText(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class CompositeProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandboxed);
        ResetProxySettings();
        ASSERT_TRUE(SetProxySetting("org.gnome.system.proxy.http", "host", "'127.0.0.9'"));
        fs::remove_all(Home().Path() + "/state");
        fs::create_directories(Home().Path() + "/.config");
        std::ofstream(KioslavercPathText(), std::ios::binary) << kKioslaverc;
        startDump = ProxySettingsDump();
    }

    // Both stores as NewKdeProxyStore joins them, each able to fail.
    CCompositeProxyStore Joined()
    {
        auto kde = std::make_unique<FailingStore>(std::make_unique<CKdeProxyStore>());
        auto gnome = std::make_unique<FailingStore>(
            std::make_unique<CGSettingsProxyStore>(CGSettingsProxyStore::Check::GnomeResolver));
        kdePart = kde.get();
        gnomePart = gnome.get();
        return CCompositeProxyStore({std::move(kde), "kde.", "in kioslaverc"},
                                    {std::move(gnome), "gnome.", "in GNOME's"}, "desktop-proxy-kde-gnome");
    }

    void ExpectStart()
    {
        EXPECT_EQ(kKioslaverc, Kioslaverc());
        EXPECT_EQ(startDump, ProxySettingsDump());
        EXPECT_FALSE(fs::exists(Home().Path() + "/state/velmora/desktop-proxy-kde-gnome.ini"));
    }

    std::string startDump;
    FailingStore* kdePart = nullptr;
    FailingStore* gnomePart = nullptr;
    FakeNetwork network;
    SilentListener listener;
    HideState state;
};

TEST_F(CompositeProxyTest, ApplyWritesAndChecksBothStoresAndRestoreGivesBothBack)
{
    const std::unique_ptr<ISystemProxyStore> store = NewKdeProxyStore(CGSettingsProxyStore::Available());
    EXPECT_TRUE(store->FollowedByFirefox());
    const SystemProxyContext context{*store, network, listener};
    const ProxyChange applied = ApplySystemProxy(state, CProxy("127.0.0.2", 1080, 5, 1, 4, 300), context);
    ASSERT_TRUE(applied) << applied.problem;

    CKioslavercFile file;
    ASSERT_TRUE(file.Load(KioslavercPathText()));
    EXPECT_EQ("1", file.Value("ProxyType"));
    EXPECT_EQ("socks://127.0.0.2 1080", file.Value("socksProxy"));
    EXPECT_EQ("'manual'", ProxySetting("org.gnome.system.proxy", "mode"));
    EXPECT_EQ("'127.0.0.2'", ProxySetting("org.gnome.system.proxy.socks", "host"));
    EXPECT_EQ("''", ProxySetting("org.gnome.system.proxy.http", "host"));
    // GIO's GNOME resolver confirms GNOME's settings although this is KDE.
    EXPECT_EQ("", store->CheckSocksProxy("127.0.0.2", 1080));
    EXPECT_NE("", store->CheckSocksProxy("127.0.0.2", 1081));

    const ProxyChange restored = RestoreSystemProxy(state, context);
    ASSERT_TRUE(restored) << restored.problem;
    ExpectStart();
}

TEST_F(CompositeProxyTest, FailureOfEitherStoreUndoesBoth)
{
    for (const int failing : {0, 1}) {
        for (const bool check : {false, true}) {
            SCOPED_TRACE(std::to_string(failing) + (check ? " check" : " write"));
            CCompositeProxyStore store = Joined();
            FailingStore* part = failing == 0 ? kdePart : gnomePart;
            (check ? part->failCheck : part->failWrite) = true;
            const SystemProxyContext context{store, network, listener};
            const ProxyChange change = ApplySystemProxy(state, CProxy("127.0.0.2", 1080, 5, 1, 4, 300), context);
            EXPECT_FALSE(change);
            EXPECT_TRUE(change.userSettingsInPlace) << change.problem;
            EXPECT_EQ(check ? (failing == 0 ? "in kioslaverc, " : "in GNOME's, ")
                                  + std::string("http:// pages go to direct://")
                            : "",
                      change.bypass);
            ExpectStart();
        }
    }
}

TEST_F(CompositeProxyTest, StartUpPutsBackWhatAnEarlierRunSavedForKioslavercAlone)
{
    CKdeProxyStore kdeAlone;
    const SystemProxyContext earlier{kdeAlone, network, listener};
    ASSERT_TRUE(ApplySystemProxy(state, CProxy("127.0.0.2", 1080, 5, 1, 4, 300), earlier));
    ASSERT_NE(kKioslaverc, Kioslaverc());

    // The next run has GNOME's settings beside kioslaverc: it takes the file
    // over and finds a proxy in kioslaverc only, which Firefox never followed.
    HideState next;
    const std::unique_ptr<ISystemProxyStore> store = NewKdeProxyStore(true);
    const SystemProxyContext context{*store, network, listener};
    EXPECT_FALSE(ResumeAppliedProxy(next, context));
    ExpectStart();
    EXPECT_FALSE(fs::exists(SavedProxySettingsPath(kdeAlone.SavedSettingsName())));
}

TEST_F(CompositeProxyTest, StartUpPutsBackAnApplyKilledBetweenTheStores)
{
    CCompositeProxyStore store = Joined();
    const SystemProxyContext context{store, network, listener};
    gnomePart->failWrite = true;
    // The saved file and kioslaverc are written as by an apply that ended there.
    SavedProxySettings saved;
    ASSERT_TRUE(store.Read("", saved.before));
    saved.applied = CProxy("127.0.0.2", 1080, 5, 1, 4, 300);
    ASSERT_TRUE(StoreSavedProxySettings(SavedProxySettingsPath(store.SavedSettingsName()), saved));
    ASSERT_FALSE(store.WriteSocksProxy("", saved.before, "127.0.0.2", 1080));
    ASSERT_NE(kKioslaverc, Kioslaverc());

    EXPECT_FALSE(ResumeAppliedProxy(state, context));
    ExpectStart();
}

TEST(KdeWithoutGnomeSettings, FirefoxIsNotFollowed)
{
    EXPECT_FALSE(NewKdeProxyStore(false)->FollowedByFirefox());
}

}  // namespace
