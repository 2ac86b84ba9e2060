#include "data/proxyfile.h"

#include <gtest/gtest.h>

#include "proxylisttext.h"
#include "support/tempdir.h"

namespace {

class ProxyFileTest : public ::testing::Test {
protected:
    // Reads content into list and returns what the list then holds.
    std::string Read(const std::string& content, bool replace = true)
    {
        EXPECT_TRUE(ReadProxyFile(list, dir.WriteFile("proxy.tmp", content), replace));
        return ListText(list);
    }

    TempDir dir;
    CProxyList list;
};

TEST_F(ProxyFileTest, ReadsWellFormedLinesInFileOrder)
{
    EXPECT_EQ(Read("127.0.0.3\t1080\t17\t2\t4\t850\r\n"
                   "127.0.0.1\t 1081\t-1\t+0\t0\t3600000\n"
                   "127.0.0.2\t8080x\t5\t3\t5\t12abc"),  // no final line end
              "127.0.0.3 1080 17 2 4 850\n"
              "127.0.0.1 1081 -1 0 0 3600000\n"
              "127.0.0.2 8080 5 3 5 12\n");
}

TEST_F(ProxyFileTest, SingleFieldLineEndsTheReading)
{
    EXPECT_EQ(Read("127.0.0.1\t1080\t1\t0\t0\t10\r\n\r\n127.0.0.2\t1080\t1\t0\t0\t10\r\n"),
              "127.0.0.1 1080 1 0 0 10\n");
    EXPECT_EQ(Read("127.0.0.1\t1080\t1\t0\t0\t10\r\nend of list\r\n127.0.0.2\t1080\t1\t0\t0\t10\r\n"),
              "127.0.0.1 1080 1 0 0 10\n");
}

TEST_F(ProxyFileTest, SkipsBadAddressPortAndTypeButReadsOn)
{
    // libcurl fetches directly through an empty proxy and tests a port above
    // 65535 on its default port, so only dotted IPv4 addresses and ports
    // 1..65535 are read.
    EXPECT_EQ(Read("127.0.0.1\t0\t1\t0\t0\t10\r\n"
                   "127.0.0.1\t70000\t1\t0\t0\t10\r\n"
                   "127.0.0.2\t1080\t1\t7\t0\t10\r\n"
                   "127.0.0.3\t1080\t1\t-2\t0\t10\r\n"  // negative types pass
                   "\t1080\t1\t0\t0\t10\r\n"
                   "256.1.1.1\t1080\t1\t0\t0\t10\r\n"
                   "127.000.000.005\t1080\t1\t3\t0\t10\r\n"
                   "127.0.0\t1080\t1\t3\t0\t10\r\n"
                   "proxy.example\t1080\t1\t3\t0\t10\r\n"
                   "255.255.255.255\t65535\t1\t3\t0\t10\r\n"),
              "127.0.0.3 1080 1 -2 0 10\n255.255.255.255 65535 1 3 0 10\n");
}

TEST_F(ProxyFileTest, LinesWithTooFewOrTooManyFieldsAreSkippedWhole)
{
    EXPECT_EQ(Read("127.0.0.1\t1080\r\n"
                   "127.0.0.2\t1080\t1\t0\t0\r\n"
                   "127.0.0.3\t1080\t1\t0\t0\t10\t99\r\n"
                   "127.0.0.4\t1080\t1\t0\t0\t10\t1\t2\t3\t4\t5\t6\r\n"  // looks like ten fields
                   "127.0.0.5\t1080\t2\t1\t3\t20\r\n"),
              "127.0.0.5 1080 2 1 3 20\n");
}

TEST_F(ProxyFileTest, AppendKeepsTheFirstOccurrenceWithItsFields)
{
    list.push_back(CProxy("127.0.0.1", 1080, 17, 2, 4, 850));
    EXPECT_EQ(Read("127.0.0.1\t1080\t3\t0\t5\t10\r\n"  // already in the list
                   "127.0.0.1\t1081\t3\t0\t5\t10\r\n"
                   "127.0.0.1\t1081\t4\t1\t1\t99\r\n",  // earlier in the file
                   false),
              "127.0.0.1 1080 17 2 4 850\n127.0.0.1 1081 3 0 5 10\n");
    // Replacing empties the list first, so nothing counts as known.
    EXPECT_EQ(Read("127.0.0.1\t1081\t4\t1\t1\t99\r\n", true), "127.0.0.1 1081 4 1 1 99\n");
}

TEST_F(ProxyFileTest, MissingFileFailsAndLeavesTheListAlone)
{
    list.push_back(CProxy("127.0.0.1", 1080, 17, 2, 4, 850));
    EXPECT_FALSE(ReadProxyFile(list, dir.File("missing.tmp"), true));
    EXPECT_EQ(ListText(list), "127.0.0.1 1080 17 2 4 850\n");
}

TEST_F(ProxyFileTest, WriteGivesSixFieldCrLfLinesThatReadBack)
{
    const CProxyList written{{"127.0.0.1", 1080, -1, 0, 0, kUnmeasuredSpeed}, {"127.0.0.2", 8080, 17, 3, 5, -7}};
    ASSERT_TRUE(WriteProxyFile(written, dir.File("out.tmp")));
    EXPECT_EQ(dir.ReadFile("out.tmp"), "127.0.0.1\t1080\t-1\t0\t0\t3600000\r\n127.0.0.2\t8080\t17\t3\t5\t-7\r\n");
    ASSERT_TRUE(ReadProxyFile(list, dir.File("out.tmp"), true));
    EXPECT_EQ(ListText(list), ListText(written));

    EXPECT_FALSE(WriteProxyFile(written, dir.File("no/such/folder/out.tmp")));
    EXPECT_FALSE(WriteProxyFile(written, "/dev/full"));
}

}  // namespace
