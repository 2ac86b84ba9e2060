// Hide IP through the program's relay: the desktop names the relay, the
// saved file the proxy and the relay's port; the relay goes only once the
// desktop no longer names it, and a later start takes it over on its port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "browser/savedproxysettings.h"
#include "browser/systemproxy.h"
#include "support/fakenetwork.h"
#include "support/recordingproxylistener.h"
#include "support/tempdir.h"

namespace {

// Desktop settings held in memory, as a store that writes in one step.
class MemoryStore : public ISystemProxyStore {
public:
    bool Read(const std::string&, DesktopProxySettings& out) override
    {
        out = settings;
        return true;
    }
    bool WriteSocksProxy(const std::string&, const DesktopProxySettings&, const std::string& host, int port) override
    {
        settings = {{"mode", "manual"}, {"socks", host + ":" + std::to_string(port)}};
        log->push_back("write " + settings["socks"]);
        return true;
    }
    bool Write(const std::string&, const DesktopProxySettings& values) override
    {
        settings = values;
        log->push_back("put back");
        return true;
    }
    bool WriteDirect(const std::string&) override { return false; }
    bool HoldsSocksProxy(const DesktopProxySettings& values, const std::string& host, int port) const override
    {
        const auto socks = values.find("socks");
        return socks != values.end() && socks->second == host + ":" + std::to_string(port);
    }
    std::string CheckSocksProxy(const std::string&, int) override { return {}; }
    void NotifySettingsChanged() override {}

    DesktopProxySettings settings{{"mode", "none"}};
    std::vector<std::string>* log = nullptr;
};

// A relay that gets any port but `taken`, and records what it is asked.
class FakeRelay : public IProxyRelay {
public:
    int Relay(const CProxy& proxy, int port, std::string& problem) override
    {
        if (port == taken) {
            problem = "the port is in use";
            log->push_back("relay refused");
            return 0;
        }
        running = port != 0 ? port : (running != 0 ? running : 40000);
        log->push_back("relay " + std::to_string(running) + " to " + proxy.ip);
        return running;
    }
    void Stop() override
    {
        if (running != 0)
            log->push_back("relay stopped");
        running = 0;
    }

    int running = 0;
    int taken = -1;
    std::vector<std::string>* log = nullptr;
};

class RelayedApply : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        store.log = &log;
        relay.log = &log;
    }

    SavedProxySettings Saved() const
    {
        SavedProxySettings saved;
        EXPECT_TRUE(LoadSavedProxySettings(SavedProxySettingsPath(), saved));
        return saved;
    }

    TempDir state;
    std::vector<std::string> log;
    MemoryStore store;
    FakeRelay relay;
    FakeNetwork network;
    RecordingProxyListener listener;
    SystemProxyContext context{store, network, listener, &relay};
    HideState hide;
    const CProxy germany{"127.0.0.2", 1082, 3, 2, 5, 100};
    const CProxy france{"127.0.0.3", 1083, 4, 1, 5, 200};
};

TEST_F(RelayedApply, TheDesktopNamesTheRelayAndRestoreStopsItOnlyAfterPuttingBack)
{
    ASSERT_TRUE(ApplySystemProxy(hide, germany, context));
    EXPECT_EQ(log, (std::vector<std::string>{"relay 40000 to 127.0.0.2", "write 127.0.0.1:40000"}));
    EXPECT_TRUE(hide.hidden);
    EXPECT_EQ(hide.relayPort, 40000);
    EXPECT_TRUE(hide.proxy == germany);
    EXPECT_TRUE(DesktopHoldsHiddenState(store, store.settings, hide));
    EXPECT_EQ(Saved().relayPort, 40000);
    EXPECT_EQ(Saved().applied.type, 2);

    // A second Hide IP keeps the relay's port and the user's configuration.
    ASSERT_TRUE(ApplySystemProxy(hide, france, context));
    EXPECT_EQ(log.back(), "write 127.0.0.1:40000");
    EXPECT_EQ(Saved().before, (DesktopProxySettings{{"mode", "none"}}));

    log.clear();
    ASSERT_TRUE(RestoreSystemProxy(hide, context));
    EXPECT_EQ(log, (std::vector<std::string>{"put back", "relay stopped"}));
    EXPECT_EQ(hide.relayPort, 0);
    EXPECT_EQ(store.settings, (DesktopProxySettings{{"mode", "none"}}));
}

TEST_F(RelayedApply, ARelayWithoutAPortChangesNothing)
{
    relay.taken = 0;
    const ProxyChange change = ApplySystemProxy(hide, germany, context);
    EXPECT_FALSE(change);
    EXPECT_EQ(change.problem, "the local relay could not start: the port is in use");
    EXPECT_EQ(store.settings, (DesktopProxySettings{{"mode", "none"}}));
    EXPECT_FALSE(hide.hidden);
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(RelayedApply, ALaterStartTakesTheRelayOverOnItsPortOrPutsTheUsersSettingsBack)
{
    ASSERT_TRUE(ApplySystemProxy(hide, germany, context));
    // The program ended with the proxy applied; the relay went with it.
    relay.running = 0;
    HideState next;
    log.clear();
    EXPECT_TRUE(ResumeAppliedProxy(next, context));
    EXPECT_EQ(log, (std::vector<std::string>{"relay 40000 to 127.0.0.2"}));
    EXPECT_TRUE(next.hidden);
    EXPECT_EQ(next.relayPort, 40000);

    // The relay moved on to another proxy: the saved file follows.
    NoteRelayedProxy(next, france, context);
    EXPECT_TRUE(next.proxy == france);
    EXPECT_TRUE(Saved().applied == france);

    // Another start finds the port taken by someone else: the user's own
    // settings come back rather than a desktop pointed at a stranger.
    relay.running = 0;
    relay.taken = 40000;
    HideState third;
    EXPECT_FALSE(ResumeAppliedProxy(third, context));
    EXPECT_FALSE(third.hidden);
    EXPECT_EQ(store.settings, (DesktopProxySettings{{"mode", "none"}}));

    // Without a relay at all a saved relay port cannot be taken over either.
    relay.taken = -1;
    ASSERT_TRUE(ApplySystemProxy(hide = HideState(), germany, context));
    const SystemProxyContext noRelay{store, network, listener};
    HideState fourth;
    EXPECT_FALSE(ResumeAppliedProxy(fourth, noRelay));
    EXPECT_EQ(store.settings, (DesktopProxySettings{{"mode", "none"}}));
}

}  // namespace
