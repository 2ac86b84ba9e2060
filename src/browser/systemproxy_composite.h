#pragma once

#include <memory>
#include <string>

#include "browser/systemproxy.h"

// Two stores written as one, for a desktop whose programs read different
// proxy settings: on KDE Plasma, KIO and Chromium read kioslaverc, while
// Firefox and GTK programs read GNOME's settings. Each store's keys stand in
// DesktopProxySettings behind a prefix of its own ("kde.ProxyType",
// "gnome.mode"), so one saved file gives both back exactly.
//
// Every operation covers both stores: the proxy is written to the first, then
// to the second, and holds only when both hold it and both resolvers confirm
// it. A write that fails in either store fails as a whole, so the caller puts
// both back; writing back goes on to the second store after the first failed,
// so that as much as possible is restored.
class CCompositeProxyStore : public ISystemProxyStore {
public:
    struct Part {
        std::unique_ptr<ISystemProxyStore> store;
        std::string prefix;  // "kde."
        std::string where;   // for messages: "in kioslaverc"
    };
    CCompositeProxyStore(Part first, Part second, std::string savedSettingsName);

    std::string SavedSettingsName() const override { return savedSettingsName_; }
    bool FollowedByFirefox() const override;
    bool Read(const std::string& connection, DesktopProxySettings& settings) override;
    bool WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before, const std::string& host,
                         int port) override;
    // Empty unless both stores can say what they write.
    DesktopProxySettings SocksProxySettings(const DesktopProxySettings& before, const std::string& host,
                                            int port) const override;
    bool Write(const std::string& connection, const DesktopProxySettings& settings) override;
    bool WriteDirect(const std::string& connection) override;
    bool HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host, int port) const override;
    // The first store's problem, or the second's, saying where ("in
    // kioslaverc, http:// pages go to direct://").
    std::string CheckSocksProxy(const std::string& host, int port) override;
    void NotifySettingsChanged() override;

    // Takes over the configuration the first store alone saved in an earlier
    // run (under its own name), when this store has none: the second store
    // was left alone then, so what it holds now is the user's own. The
    // settled start-up (ResumeAppliedProxy) then finds the first store's
    // proxy beside the second's own settings and puts everything back.
    void AdoptFirstStoreSavedSettings();

private:
    Part parts_[2];
    std::string savedSettingsName_;
};
