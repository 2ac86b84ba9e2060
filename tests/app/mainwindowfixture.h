#pragma once

// The real main window, started against a stand-in service on loopback, in
// a temporary working folder with a small country catalogue, with fake
// desktop proxy settings and network state, a scripted prompt, a recording
// URL opener and an exit that is recorded instead of ending the process.
#include "app/desktop.h"
#include "app/tolvanedlg.h"
#include "browser/systemproxy.h"
#include "support/fakenetwork.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"
#include "support/ui/recordingurlopener.h"
#include "support/ui/scriptedprompt.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Records what would go to the desktop's proxy settings.
class CFakeProxyStore : public ISystemProxyStore {
public:
    bool HasSystemSetting() const override { return hasSystemSetting; }
    bool FollowedByFirefox() const override { return followedByFirefox; }
    bool Read(const std::string&, DesktopProxySettings& settings) override
    {
        settings = {{"mode", "none"}};
        return true;
    }
    bool WriteSocksProxy(const std::string&, const DesktopProxySettings&, const std::string& host, int port) override
    {
        writes.push_back(host + ":" + std::to_string(port));
        return succeed;
    }
    bool Write(const std::string&, const DesktopProxySettings&) override
    {
        writes.push_back("restore");
        return succeed;
    }
    bool WriteDirect(const std::string&) override { return false; }
    bool HoldsSocksProxy(const DesktopProxySettings&, const std::string&, int) const override { return holds; }
    std::string CheckSocksProxy(const std::string&, int) override { return bypass; }

    std::vector<std::string> writes;
    bool succeed = true;
    std::string bypass;             // what the desktop's resolver answers instead of the proxy
    bool hasSystemSetting = true;   // false: a desktop with nothing to change
    bool holds = true;              // false: the desktop no longer holds the applied proxy
    bool followedByFirefox = true;  // false: KDE Plasma without GNOME's proxy settings
};

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();

    // Service options for the fixture; tests override before SetUp runs.
    virtual std::vector<std::string> ServiceOptions() const;

    void SetUp() override;
    void TearDown() override;

    // Constructs and initialises the window; false when the start-up ended the program.
    bool StartWindow();
    // Puts the proxies into the process-wide list and the table.
    void ShowProxies(const CProxyList& proxies);
    void SelectRows(const std::vector<int>& rows);
    // Writes the retrieve answer the service gives from now on.
    void SetRetrieveAnswer(const std::string& answer);
    std::vector<std::string> ListedAddresses() const;

    TempDir dir;
    TempDir home;
    std::unique_ptr<ScopedChdir> chdir;
    std::unique_ptr<ServiceFixture> service;
    FakeNetwork network;
    CFakeProxyStore store;
    CScriptedPrompt prompt;
    CRecordingUrlOpener opener;
    std::vector<int> exitCodes;
    bool trayAvailable = true;
    CDesktop desktop{prompt,
                     opener,
                     network,
                     store,
                     [this](int code) { exitCodes.push_back(code); },
                     [this] { return trayAvailable; },
                     {}};
    std::unique_ptr<CTolvaneDlg> window;
};

// Expected texts are written as plain literals.
inline QString Text(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// n loopback proxies 127.0.0.1 .. 127.0.0.n on port 1080 + i.
CProxyList LoopbackProxies(int n);
