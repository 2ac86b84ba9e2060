// KDE's kioslaverc behind Hide IP, in a temporary HOME whose ~/.config is
// XDG_CONFIG_HOME, as in a KDE session; and the choice of the store by desktop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "browser/kioslavercfile.h"
#include "browser/savedproxysettings.h"
#include "browser/systemproxy.h"
#include "browser/systemproxy_desktop.h"
#include "browser/systemproxy_kde.h"
#include "support/fakenetwork.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

CProxy Proxy(const char* ip, int port)
{
    return CProxy(ip, port, 5, 1, 4, 300);
}

// The starting states a restore must give back byte for byte.
struct Start {
    const char* name;
    const char* content;  // nullptr: no kioslaverc at all
    const char* bypass;   // NoProxyFor while applied
};
const Start kStarts[] = {
    {"no file", nullptr, "localhost,127.0.0.0/8,::1"},
    {"other groups, no final line break",
     "# written by hand\n[Cookie Policy]\nCookieGlobalAdvice=Accept\n\n[UserAgent]\nSendUserAgent=true",
     "localhost,127.0.0.0/8,::1"},
    {"manual HTTP proxy",
     "[Proxy Settings]\nAuthMode=0\nNoProxyFor=intranet.example, ::1\nProxyType=1\n"
     "httpProxy=http://127.0.0.9 3128\nhttpsProxy=http://127.0.0.9 3128\nReversedException=true\n\n"
     "[Cache Settings]\nUseCache=true\n",
     "intranet.example, ::1,localhost,127.0.0.0/8"},
    {"PAC set-up", "[Proxy Settings]\r\nProxy Config Script=http://127.0.0.9/proxy.pac\r\nProxyType=2\r\n",
     "localhost,127.0.0.0/8,::1"},
    // Under the environment-variable type NoProxyFor names a variable, not hosts.
    {"proxies from environment variables", "[Proxy Settings]\nNoProxyFor=NO_PROXY\nProxyType=4\nhttpProxy=HTTP_PROXY\n",
     "localhost,127.0.0.0/8,::1"},
};

struct SilentListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override {}
    void OnProxyRestored() override {}
};

class KdeProxyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        config = home.Path() + "/.config";
        setenv("HOME", home.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_STATE_HOME", (home.Path() + "/state").c_str(), 1);
        // No session bus: the reload signal has nobody to reach.
        setenv("DBUS_SESSION_BUS_ADDRESS", "", 1);
        setenv("XDG_RUNTIME_DIR", home.Path().c_str(), 1);
    }

    std::string Path() const { return config + "/kioslaverc"; }
    bool Exists() const { return fs::exists(Path()); }
    std::string Content() const
    {
        std::ifstream file(Path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void Write(const std::string& text)
    {
        fs::create_directories(config);
        std::ofstream(Path(), std::ios::binary) << text;
    }
    std::vector<std::string> FilesInConfig() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(config))
            names.push_back(entry.path().filename().string());
        return names;
    }
    ino_t Inode() const
    {
        struct stat info = {};
        return stat(Path().c_str(), &info) == 0 ? info.st_ino : 0;
    }
    std::string Value(const char* key) const
    {
        CKioslavercFile file;
        EXPECT_TRUE(file.Load(Path()));
        return file.Value(key);
    }

    TempDir home;
    std::string config;
    FakeNetwork network;
    CKdeProxyStore store;
    SilentListener listener;
    SystemProxyContext context{store, network, listener};
    HideState state;
};

TEST_F(KdeProxyTest, ApplyAndRestoreFromEachStartingState)
{
    for (const Start& start : kStarts) {
        SCOPED_TRACE(start.name);
        if (start.content)
            Write(start.content);
        const ino_t before = Inode();

        const ProxyChange applied = ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context);
        ASSERT_TRUE(applied) << applied.problem;
        EXPECT_EQ("1", Value("ProxyType"));
        EXPECT_EQ("socks://127.0.0.2 1080", Value("socksProxy"));
        for (const char* key : {"httpProxy", "httpsProxy", "ftpProxy"})
            EXPECT_EQ("", Value(key)) << key;
        EXPECT_EQ(start.bypass, Value("NoProxyFor"));
        EXPECT_NE("true", Value("ReversedException"));
        // Written as a new file renamed over the old one, with nothing left beside it.
        EXPECT_NE(before, Inode());
        EXPECT_EQ(std::vector<std::string>{"kioslaverc"}, FilesInConfig());
        EXPECT_TRUE(fs::exists(SavedProxySettingsPath(store.SavedSettingsName())));

        ASSERT_TRUE(RestoreSystemProxy(state, context));
        if (start.content)
            EXPECT_EQ(start.content, Content());
        else
            EXPECT_FALSE(Exists());
        EXPECT_FALSE(fs::exists(SavedProxySettingsPath(store.SavedSettingsName())));
    }
}

TEST_F(KdeProxyTest, OtherLinesAndGroupsKeepTheirBytesWhileApplied)
{
    Write("[$Version]\nupdate_info=kio.upd:x\n\n[Proxy Settings]\nAuthMode=0\n"
          "  NoProxyFor = .lan\nProxyType=0\n\n[Cookie Policy]\nCookieGlobalAdvice=Accept\n");
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    EXPECT_EQ("[$Version]\nupdate_info=kio.upd:x\n\n[Proxy Settings]\nAuthMode=0\n"
              "NoProxyFor=.lan,localhost,127.0.0.0/8,::1\nProxyType=1\nhttpProxy=\nhttpsProxy=\nftpProxy=\n"
              "socksProxy=socks://127.0.0.2 1080\n\n[Cookie Policy]\nCookieGlobalAdvice=Accept\n",
              Content());

    // KDE writes another group meanwhile: it stays after Restore IP.
    Write(Content() + "\n[Notification Messages]\nWarnOnUnencryptedForm=false\n");
    ASSERT_TRUE(RestoreSystemProxy(state, context));
    EXPECT_EQ("[$Version]\nupdate_info=kio.upd:x\n\n[Proxy Settings]\nAuthMode=0\n"
              "  NoProxyFor = .lan\nProxyType=0\n\n[Cookie Policy]\nCookieGlobalAdvice=Accept\n"
              "\n[Notification Messages]\nWarnOnUnencryptedForm=false\n",
              Content());
}

TEST_F(KdeProxyTest, ALinkedKioslavercStaysALink)
{
    // Dotfile managers keep kioslaverc elsewhere and link it in.
    const std::string start = "[Proxy Settings]\nProxyType=0\n";
    const std::string target = home.WriteFile("kioslaverc.dotfile", start);
    fs::create_directories(config);
    fs::create_symlink(target, Path());
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_EQ("1", Value("ProxyType"));
    ASSERT_TRUE(RestoreSystemProxy(state, context));
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_EQ(start, home.ReadFile("kioslaverc.dotfile"));
}

TEST_F(KdeProxyTest, AProxyTheReadersWouldNotFollowIsUndoneAndExplained)
{
    // The user's own no-proxy list covers every host.
    const std::string start = "[Proxy Settings]\nNoProxyFor=*\nProxyType=0\n";
    Write(start);
    ProxyChange refused = ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context);
    EXPECT_FALSE(refused);
    EXPECT_EQ("http:// pages go to direct://", refused.bypass);
    EXPECT_EQ(start, Content());
    EXPECT_FALSE(state.hidden);

    // Chromium reads ~/.config/kioslaverc even when XDG_CONFIG_HOME is elsewhere.
    Write("");
    config = home.Path() + "/elsewhere";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    refused = ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context);
    EXPECT_FALSE(refused);
    EXPECT_EQ("http:// pages go to direct:// in Chromium, which reads " + home.Path() + "/.config/kioslaverc,",
              refused.bypass);
    EXPECT_FALSE(Exists());
}

TEST_F(KdeProxyTest, AnotherDesktopsSavedConfigurationIsLeftAlone)
{
    // A configuration GNOME's store saved in another session is not this store's.
    SavedProxySettings gnome;
    gnome.before = {{"mode", "'auto'"}};
    gnome.applied = Proxy("127.0.0.5", 1085);
    ASSERT_TRUE(StoreSavedProxySettings(SavedProxySettingsPath(), gnome));
    HideState next;
    EXPECT_FALSE(ResumeAppliedProxy(next, context));

    // Nor is it touched by this store's own apply and restore.
    Write("[Proxy Settings]\nProxyType=0\n");
    ASSERT_TRUE(ApplySystemProxy(state, Proxy("127.0.0.2", 1080), context));
    ASSERT_TRUE(RestoreSystemProxy(state, context));
    EXPECT_EQ("[Proxy Settings]\nProxyType=0\n", Content());
    EXPECT_TRUE(LoadSavedProxySettings(SavedProxySettingsPath(), gnome));
}

TEST(SystemProxyChoice, TheStoreFollowsTheDesktop)
{
    struct Case {
        DesktopHints hints;
        DesktopFamily family;
    };
    const Case cases[] = {
        {{"GNOME", "", false, false, {}}, DesktopFamily::Gnome},
        {{"ubuntu:GNOME", "", false, false, {}}, DesktopFamily::Gnome},
        {{"X-Cinnamon", "", false, false, {}}, DesktopFamily::Gnome},
        {{"Budgie:GNOME", "", false, false, {}}, DesktopFamily::Gnome},
        {{"Pantheon", "", false, false, {}}, DesktopFamily::Gnome},
        {{"MATE", "", false, false, {}}, DesktopFamily::Gnome},
        {{"Unity", "", false, false, {}}, DesktopFamily::Gnome},
        {{"KDE", "", true, false, {}}, DesktopFamily::Kde},
        {{"XFCE", "xfce", false, false, {}}, DesktopFamily::Other},
        {{"sway", "", true, false, {"plasmashell"}}, DesktopFamily::Other},
        // No XDG_CURRENT_DESKTOP: the session's own variables, then its running shell.
        {{"", "", true, false, {}}, DesktopFamily::Kde},
        {{"", "gnome", false, false, {}}, DesktopFamily::Gnome},
        {{"", "", false, false, {"bash", "plasmashell"}}, DesktopFamily::Kde},
        {{"", "", false, false, {"gnome-shell"}}, DesktopFamily::Gnome},
        {{"", "", false, false, {"i3", "bash"}}, DesktopFamily::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.family, DesktopFamilyOf(c.hints)) << c.hints.currentDesktop << "/" << c.hints.desktopSession;
}

}  // namespace
