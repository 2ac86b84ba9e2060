#include "data/proxy.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "data/countrycatalogue.h"
#include "proxylisttext.h"
#include "support/tempdir.h"

namespace {

TEST(ProxyRecord, DefaultsAndTheFifteenCharacterRule)
{
    const CProxy empty;
    EXPECT_STREQ(empty.ip, "");
    EXPECT_EQ(ListText({empty}), " 0 -1 0 0 3600000\n");

    EXPECT_STREQ(CProxy("255.255.255.255", 1, 2, 3, 4, 5).ip, "255.255.255.255");  // 15 kept
    const CProxy tooLong("1255.255.255.255", 1080, 7, 2, 4, 850);
    EXPECT_STREQ(tooLong.ip, "");
    EXPECT_EQ(tooLong.port, 1080);  // the other fields are still taken

    CProxy p("127.0.0.1", 1, 2, 3, 4, 5);
    p.SetIp("127.000.000.0001");
    EXPECT_STREQ(p.ip, "");
    p.SetIp(nullptr);
    EXPECT_STREQ(p.ip, "");
}

TEST(ProxyRecord, CopiesAllFieldsAndComparesOnlyAddressAndPort)
{
    const CProxy original("127.0.0.1", 1080, 17, 2, 4, 850);
    CProxy copy(original);
    CProxy assigned;
    assigned = original;
    assigned = *&assigned;  // self-assignment changes nothing
    EXPECT_EQ(ListText({copy, assigned}), ListText({original, original}));

    EXPECT_TRUE(original == CProxy("127.0.0.1", 1080, 3, 0, 1, 99));
    EXPECT_FALSE(original == CProxy("127.0.0.1", 1081, 17, 2, 4, 850));
    EXPECT_FALSE(CProxy("127.0.0.1", 1080, 0, 0, 0, 0) == CProxy("127.000.0.1", 1080, 0, 0, 0, 0));
}

TEST(ProxyList, FindProxyAndEntryAt)
{
    CProxyList list{{"127.0.0.1", 1080, 1, 0, 0, 10},
                    {"127.0.0.2", 1080, 2, 0, 0, 20},
                    {"127.0.0.1", 1080, 3, 0, 0, 30}};  // same proxy again
    auto found = FindProxy(list, CProxy("127.0.0.1", 1080, -1, 3, 5, 1));
    ASSERT_NE(found, list.end());
    EXPECT_EQ(found, list.begin());  // the first from the head
    EXPECT_EQ(FindProxy(list, CProxy("127.0.0.2", 1081, 2, 0, 0, 20)), list.end());

    EXPECT_EQ(EntryAt(list, -1), list.end());
    EXPECT_EQ(EntryAt(list, 3), list.end());
    ASSERT_NE(EntryAt(list, 2), list.end());
    EXPECT_EQ(EntryAt(list, 2)->country, 3);

    list.erase(EntryAt(list, 0));
    list.erase(EntryAt(list, 0));
    list.erase(EntryAt(list, 0));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(EntryAt(list, 0), list.end());
    EXPECT_EQ(FindProxy(list, CProxy()), list.end());
    SortProxyList(list, SortBySpeed, false);
    EXPECT_TRUE(list.empty());
}

TEST(ProxyList, ProcessWideListIsOneObject)
{
    EXPECT_EQ(&GetProxyList(), &GetProxyList());
}

// Entries named by their address ending so expected orders read easily.
CProxy P(int id, int country, int uptime, int speed)
{
    return CProxy(("127.0.0." + std::to_string(id)).c_str(), 1080, country, 0, uptime, speed);
}

std::string Ids(const CProxyList& list)
{
    std::string ids;
    for (const CProxy& p : list)
        ids += std::string(p.ip + 8) + ' ';
    return ids;
}

class ProxySortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Three countries, so country -1 and 3 are outside the catalogue.
        dir.WriteFile("countries.nbx", "AA\tFirst\r\nBB\tSecond\r\nCC\tThird\r\n");
        ResetCountryCatalogueForTest();
    }
    void TearDown() override { ResetCountryCatalogueForTest(); }

    std::string Sorted(SortKey key, bool normalOrder)
    {
        CProxyList copy = list;
        SortProxyList(copy, key, normalOrder);
        return Ids(copy);
    }

    TempDir dir;
    ScopedChdir inDir{dir.Path()};
    // id: country, uptime, speed. 1, 3 and 6 share speed 100.
    CProxyList list{P(1, 2, 5, 100), P(2, 0, 3, 50),  P(3, 0, 5, 100), P(4, -1, 0, 20),
                    P(5, 1, 1, 300), P(6, 3, 6, 100), P(7, 2, 3, 10)};
};

TEST_F(ProxySortTest, SpeedKeepsEqualSpeedsInOrderAndReversesAll)
{
    EXPECT_EQ(Sorted(SortBySpeed, true), "7 4 2 1 3 6 5 ");
    EXPECT_EQ(Sorted(SortBySpeed, false), "5 6 3 1 2 4 7 ");
}

TEST_F(ProxySortTest, UptimeGroupsWithSpeedInsideAndUnratedLast)
{
    EXPECT_EQ(Sorted(SortByUptime, true), "1 3 7 2 5 4 6 ");
    EXPECT_EQ(Sorted(SortByUptime, false), "5 7 2 1 3 4 6 ");
}

TEST_F(ProxySortTest, CountryInCatalogueOrderAndUnknownCountriesLast)
{
    EXPECT_EQ(Sorted(SortByCountry, true), "2 3 5 7 1 4 6 ");
    EXPECT_EQ(Sorted(SortByCountry, false), "7 1 5 2 3 4 6 ");
}

TEST_F(ProxySortTest, WithoutCatalogueCountrySortKeepsEveryEntryInSpeedOrder)
{
    std::remove(dir.File("countries.nbx").c_str());
    ResetCountryCatalogueForTest();
    EXPECT_EQ(Sorted(SortByCountry, true), "7 4 2 1 3 6 5 ");
    EXPECT_EQ(Sorted(SortByCountry, false), "7 4 2 1 3 6 5 ");
}

TEST_F(ProxySortTest, EmptyAndSingleEntryListsStayAsTheyAre)
{
    for (SortKey key : {SortByCountry, SortByUptime, SortBySpeed}) {
        for (bool normal : {true, false}) {
            CProxyList empty;
            SortProxyList(empty, key, normal);
            EXPECT_TRUE(empty.empty());
            CProxyList one{P(9, -1, 0, kUnmeasuredSpeed)};
            SortProxyList(one, key, normal);
            EXPECT_EQ(ListText(one), ListText({P(9, -1, 0, kUnmeasuredSpeed)}));
        }
    }
}

}  // namespace
