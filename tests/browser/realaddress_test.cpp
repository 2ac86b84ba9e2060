#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "browser/realaddress.h"
#include "service/startrequest.h"
#include "support/fakenetwork.h"

namespace {

TEST(NetworkStateTest, InterfacesDecideConnectionKind)
{
    INetworkState::Info info = DescribeInterfaces({FakeNetwork::Loopback()});
    EXPECT_FALSE(info.connected);

    // Down interfaces and interfaces without IPv4 do not count.
    info =
        DescribeInterfaces({FakeNetwork::Loopback(), {"eth0", false, false, "192.0.2.10"}, {"wlan0", true, false, ""}});
    EXPECT_FALSE(info.connected);

    info = DescribeInterfaces(FakeNetwork::Lan());
    EXPECT_TRUE(info.connected);
    EXPECT_TRUE(info.lan);
    EXPECT_FALSE(info.dialUp);
    EXPECT_EQ("", info.name);

    info = DescribeInterfaces(
        {FakeNetwork::Loopback(), {"sl0", true, false, "10.9.0.1"}, {"ppp1", true, false, "10.64.0.8"}});
    EXPECT_TRUE(info.connected);
    EXPECT_FALSE(info.lan);
    EXPECT_TRUE(info.dialUp);
    EXPECT_EQ("sl0", info.name);
    EXPECT_EQ("10.9.0.1", info.dialUpAddress);
}

class RealAddressTest : public ::testing::Test {
protected:
    void SetUp() override { ResetRealAddressForTest(); }
    void TearDown() override { ResetRealAddressForTest(); }
};

TEST_F(RealAddressTest, ServiceAddressWinsAndIsCached)
{
    FakeNetwork network(FakeNetwork::DialUp());
    EXPECT_EQ("127.0.0.9", GetRealAddress("127.0.0.9", network));
    EXPECT_EQ("127.0.0.9", GetRealAddress("127.0.0.8", network));
}

TEST_F(RealAddressTest, DialUpGivesThePppAddress)
{
    FakeNetwork network(FakeNetwork::DialUp());
    EXPECT_EQ("10.64.0.7", GetRealAddress("", network));
    // Computed once: a later change of connection is not seen.
    network.interfaces = FakeNetwork::Lan();
    EXPECT_EQ("10.64.0.7", GetRealAddress("", network));
}

// True when /etc/hosts names this host, so resolving it needs no DNS query.
bool HostNameIsLocal(std::string& name)
{
    char buffer[128] = {};
    gethostname(buffer, sizeof buffer - 1);
    name = buffer;
    std::ifstream hosts("/etc/hosts");
    for (std::string line; std::getline(hosts, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        words >> word;  // the address
        while (words >> word)
            if (word == name)
                return true;
    }
    return false;
}

TEST_F(RealAddressTest, LanGivesTheLocalHostAddress)
{
    std::string name;
    if (!HostNameIsLocal(name))
        GTEST_SKIP() << "host name " << name << " is not in /etc/hosts; resolving it could reach DNS";
    FakeNetwork network;
    const std::string address = GetRealAddress("", network);
    in_addr parsed = {};
    ASSERT_EQ(1, inet_pton(AF_INET, address.c_str(), &parsed)) << address;
    EXPECT_NE("0.0.0.0", address);
    // The host's name maps to loopback or to one of this machine's own addresses.
    bool own = address.rfind("127.", 0) == 0;
    for (const NetworkInterface& entry : ListNetworkInterfaces())
        own = own || entry.ipv4 == address;
    EXPECT_TRUE(own) << address;
}

}  // namespace
