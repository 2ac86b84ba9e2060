#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/tempdir.h"

namespace {

// Runs one step of proxystore_helper in a fresh process on the sandbox's
// keyfile; returns its wait status and its output.
int RunHelper(const std::string& arguments, std::string* output = nullptr)
{
    FILE* pipe = popen((std::string(VELMORA_PROXYSTORE_HELPER) + " " + arguments).c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> buffer{};
    size_t read;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        if (output)
            output->append(buffer.data(), read);
    return pclose(pipe);
}

// Killed after any one of the writes of Hide IP, the next start gives the
// user's configuration back exactly, bypass list and HTTP proxy included.
TEST(KilledApply, TheNextStartGivesTheUsersConfigurationBack)
{
    for (int keys = 0; keys <= 9; ++keys) {
        SCOPED_TRACE("killed after " + std::to_string(keys) + " keys");
        TempDir sandbox;
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setenv("XDG_CONFIG_HOME", sandbox.Path().c_str(), 1);
        setenv("XDG_STATE_HOME", (sandbox.Path() + "/state").c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        unsetenv("GIO_USE_PROXY_RESOLVER");

        ASSERT_EQ(0, RunHelper("start"));
        std::string start;
        ASSERT_EQ(0, RunHelper("dump", &start));
        ASSERT_NE(std::string::npos, start.find("['*.corp.example', '10.0.0.0/8']"));

        const int killed = RunHelper("apply-killed " + std::to_string(keys));
        ASSERT_TRUE(WIFSIGNALED(killed) || (WIFEXITED(killed) && WEXITSTATUS(killed) == 128 + SIGKILL)) << killed;
        ASSERT_TRUE(std::filesystem::exists(sandbox.Path() + "/state/velmora/desktop-proxy.ini"));

        ASSERT_EQ(0, RunHelper("settle"));
        std::string after;
        ASSERT_EQ(0, RunHelper("dump", &after));
        EXPECT_EQ(start, after);
        EXPECT_FALSE(std::filesystem::exists(sandbox.Path() + "/state/velmora/desktop-proxy.ini"));
    }
}

}  // namespace
