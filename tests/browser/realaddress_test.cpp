#include <gtest/gtest.h>

#include <string>

#include "browser/realaddress.h"
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

TEST_F(RealAddressTest, LanGivesTheAddressOfTheDefaultRoutesInterfaceNeverLoopback)
{
    FakeNetwork network({FakeNetwork::Loopback(),
                         {"eth0", true, false, "192.0.2.10"},
                         {"wlan0", true, false, "198.51.100.7"},
                         {"dummy0", true, false, "127.0.1.1"}});
    EXPECT_EQ(DescribeInterfaces(network.interfaces, "wlan0").localAddress, "198.51.100.7");
    EXPECT_EQ(DescribeInterfaces(network.interfaces, "dummy0").localAddress, "192.0.2.10");
    // Without a default route: the first LAN interface.
    EXPECT_EQ(GetRealAddress("", network), "192.0.2.10");
    EXPECT_TRUE(RealAddressIsLocal());

    ResetRealAddressForTest();
    EXPECT_EQ(GetRealAddress("203.0.113.5", network), "203.0.113.5");
    EXPECT_FALSE(RealAddressIsLocal());
}

TEST(NetworkStateTest, DefaultRouteFromTheRoutingTable)
{
    const std::string table = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                              "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                              "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                              "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                              "tun0\t00000000\t00000000\t0000\t0\t0\t0\t00000000\t0\t0\t0\n";  // down
    EXPECT_EQ(DefaultRouteInterface(table), "eth0");
    EXPECT_EQ(DefaultRouteInterface(table.substr(0, table.find("wlan0"))), "");
    EXPECT_EQ(DefaultRouteInterface(""), "");
}

}  // namespace
