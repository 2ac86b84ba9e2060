#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "browser/systemproxy.h"
#include "browser/systemproxy_desktop.h"
#include "browser/systemproxy_gsettings.h"
#include "support/fakenetwork.h"
#include "support/tempdir.h"

namespace {

// A desktop without the proxy schema: GSettings only sees an empty compiled
// schema folder. Set before main because GSettings reads these once.
TempDir& Sandbox()
{
    static TempDir dir;
    return dir;
}
const bool schemaCompiled = [] {
    const std::string schemas = Sandbox().Path() + "/schemas";
    const std::string data = Sandbox().Path() + "/data";
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", Sandbox().Path().c_str(), 1);
    setenv("XDG_DATA_DIRS", data.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("GSETTINGS_SCHEMA_DIR", schemas.c_str(), 1);
    const std::string command = "mkdir -p '" + schemas + "' && glib-compile-schemas '" + schemas + "'";
    return std::system(command.c_str()) == 0;
}();

struct CountingListener : IProxyStateListener {
    void OnProxyApplied(const CProxy&) override { ++count; }
    void OnProxyRestored() override { ++count; }
    int count = 0;
};

TEST(SystemProxyNoSchemaTest, ApplyAndRestoreFailWithoutAborting)
{
    ASSERT_TRUE(schemaCompiled) << "glib-compile-schemas failed";
    CountingListener listener;
    FakeNetwork network;
    CGSettingsProxyStore gsettings;
    const SystemProxyContext context{gsettings, network, listener};
    HideState state;

    EXPECT_FALSE(ApplySystemProxy(state, CProxy("127.0.0.2", 1080, -1, 0, 0, 0), context));
    EXPECT_FALSE(state.hidden);
    state.hidden = true;
    EXPECT_FALSE(RestoreSystemProxy(state, context));
    EXPECT_TRUE(state.hidden);
    EXPECT_EQ(0, listener.count);
}

// On KDE without GNOME's schemas only kioslaverc is written, which Firefox
// does not read: the store says so.
TEST(SystemProxyNoSchemaTest, KdeStoreWithoutGnomeSettingsIsNotFollowedByFirefox)
{
    ASSERT_TRUE(schemaCompiled) << "glib-compile-schemas failed";
    EXPECT_FALSE(CGSettingsProxyStore::Available());
    EXPECT_FALSE(NewDesktopProxyStore(DesktopFamily::Kde)->FollowedByFirefox());
    EXPECT_TRUE(NewDesktopProxyStore(DesktopFamily::Gnome)->FollowedByFirefox());
}

}  // namespace
