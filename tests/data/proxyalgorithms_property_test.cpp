// Properties of the proxy list's sort and of the proxy file's writer and
// reader, checked on many random lists and files. The seed is fixed, so a
// failure repeats.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "data/countrycatalogue.h"
#include "data/proxy.h"
#include "data/proxyfile.h"
#include "proxylisttext.h"
#include "support/tempdir.h"

namespace {

// The rank of p's group as proxy.h states the order: uptime 5..1 or the
// catalogue's order, reversed when not normalOrder, then every entry outside
// the key's range. The speed key has one group.
int GroupRank(const CProxy& p, SortKey key, bool normalOrder, int countryCount)
{
    if (key == SortByUptime) {
        if (p.uptime < 1 || p.uptime > 5)
            return 5;
        return normalOrder ? 5 - p.uptime : p.uptime - 1;
    }
    if (key == SortByCountry) {
        if (p.country < 0 || p.country >= countryCount)
            return countryCount;
        return normalOrder ? p.country : countryCount - 1 - p.country;
    }
    return 0;
}

// One line of a proxy file, fields in CProxy order, without its line end.
std::string Line(const CProxy& p)
{
    return std::string(p.ip) + '\t' + std::to_string(p.port) + '\t' + std::to_string(p.country) + '\t'
           + std::to_string(p.type) + '\t' + std::to_string(p.uptime) + '\t' + std::to_string(p.speed);
}

bool Contains(const CProxyList& list, const CProxy& proxy)
{
    for (const CProxy& p : list)
        if (p == proxy)
            return true;
    return false;
}

class ProxyProperties : public ::testing::Test {
protected:
    void TearDown() override { ResetCountryCatalogueForTest(); }

    void UseCatalogueOf(int countryCount)
    {
        std::string content;
        for (int i = 0; i < countryCount; ++i)
            content += std::string{char('A' + i), 'X'} + "\tCountry\r\n";
        dir.WriteFile("countries.nbx", content);
        ResetCountryCatalogueForTest();
        ASSERT_EQ(GetCountryCatalogue().Count(), countryCount);
    }

    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    // Few distinct values, so that speeds, uptimes, countries and addresses
    // repeat; speeds include both ends of int and the unmeasured hour.
    CProxy RandomProxy(int port, int countryCount = 5)
    {
        static const int speeds[] = {INT_MIN, -5, 0, 10, 10, 250, kUnmeasuredSpeed, INT_MAX};
        const std::string ip = "127.0." + std::to_string(Between(0, 3)) + '.' + std::to_string(Between(0, 9));
        return CProxy(ip.c_str(), port, Between(-2, countryCount + 1), Between(-2, 3), Between(-1, 6),
                      speeds[Between(0, 7)]);
    }

    // A list of size entries whose identities repeat (ports 1..ports).
    CProxyList RandomList(int size, int ports)
    {
        CProxyList list;
        for (int i = 0; i < size; ++i)
            list.push_back(RandomProxy(Between(1, ports)));
        return list;
    }

    // A line the reader must skip, but not one that ends the reading.
    std::string DamagedLine(const CProxy& p)
    {
        std::string line = Line(p);
        switch (Between(0, 6)) {
        case 0: return "127.0.0.1\t0\t1\t0\t0\t10";                           // port 0
        case 1: return "127.0.0.1\t65536\t1\t0\t0\t10";                       // port too high
        case 2: return "127.0.0.1\t1080\t1\t4\t0\t10";                        // type too high
        case 3: return "127.000.000.0001\t1080\t1\t0\t0\t10";                 // sixteen characters
        case 4: return "256.0.0.1\t1080\t1\t0\t0\t10";                        // no IPv4 address
        case 5: return line.substr(0, line.rfind('\t'));                      // five fields
        default: return line + "\textra" + std::string(Between(0, 5), '\t');  // seven or more
        }
    }

    std::mt19937 random{20240611};
    TempDir dir;
    ScopedChdir inDir{dir.Path()};
};

TEST_F(ProxyProperties, SortIsStableAndOrderedByGroupThenSpeedForEveryKeyAndOrder)
{
    for (int countryCount : {0, 1, 5}) {
        UseCatalogueOf(countryCount);
        for (int round = 0; round < 300; ++round) {
            // The port numbers each entry by its place in the input; the sort never looks at it.
            std::vector<CProxy> input;
            const int size = Between(0, 40);
            for (int i = 0; i < size; ++i)
                input.push_back(RandomProxy(i + 1, countryCount));
            const CProxyList list(input.begin(), input.end());
            for (SortKey key : {SortByCountry, SortByUptime, SortBySpeed}) {
                for (bool normal : {true, false}) {
                    CProxyList sortedList = list;
                    SortProxyList(sortedList, key, normal);
                    const std::vector<CProxy> sorted(sortedList.begin(), sortedList.end());
                    SCOPED_TRACE("key " + std::to_string(key) + " normal " + std::to_string(normal) + " countries "
                                 + std::to_string(countryCount) + "\ninput:\n" + ListText(list));

                    // Every entry once, whole.
                    ASSERT_EQ(sorted.size(), input.size());
                    std::vector<bool> seen(input.size(), false);
                    for (const CProxy& p : sorted) {
                        const size_t at = static_cast<size_t>(p.port - 1);
                        ASSERT_FALSE(seen[at]);
                        seen[at] = true;
                        ASSERT_EQ(ListText({p}), ListText({input[at]}));
                    }
                    // Ordered by (group, speed), equal keys in input order; the
                    // reversed speed order is the exact reverse, equal speeds included.
                    const bool reversed = key == SortBySpeed && !normal;
                    for (size_t i = 1; i < sorted.size(); ++i) {
                        const CProxy& a = reversed ? sorted[i] : sorted[i - 1];
                        const CProxy& b = reversed ? sorted[i - 1] : sorted[i];
                        ASSERT_LT(std::make_tuple(GroupRank(a, key, normal, countryCount), a.speed, a.port),
                                  std::make_tuple(GroupRank(b, key, normal, countryCount), b.speed, b.port))
                            << "at " << i;
                    }
                }
            }
        }
    }
}

TEST_F(ProxyProperties, WrittenListsReadBackWhole)
{
    for (int round = 0; round < 300; ++round) {
        // Distinct identities and usable records with any country, uptime,
        // speed and negative types.
        CProxyList written;
        std::string lines;
        const int size = Between(0, 40);
        for (int i = 0; i < size; ++i) {
            written.push_back(RandomProxy(i + 1 + 41 * Between(0, 1597)));
            lines += Line(written.back()) + "\r\n";
        }
        const std::string path = dir.File("out.tmp");
        ASSERT_TRUE(WriteProxyFile(written, path));
        ASSERT_EQ(dir.ReadFile("out.tmp"), lines);

        for (bool replace : {true, false}) {
            CProxyList read = replace ? RandomList(Between(0, 5), 3) : CProxyList();
            ASSERT_TRUE(ReadProxyFile(read, path, replace));
            ASSERT_EQ(ListText(read), ListText(written)) << "replace " << replace;
        }
    }
}

TEST_F(ProxyProperties, ReadingKeepsTheFirstOccurrenceOfEachProxyAfterTheListItAddsTo)
{
    for (int round = 0; round < 300; ++round) {
        const CProxyList inFile = RandomList(Between(0, 40), 3);
        const std::string path = dir.File("proxy.tmp");
        ASSERT_TRUE(WriteProxyFile(inFile, path));
        const CProxyList start = RandomList(Between(0, 8), 3);  // may repeat itself: stays as it is

        for (bool replace : {false, true}) {
            CProxyList expected = replace ? CProxyList() : start;
            for (const CProxy& p : inFile)
                if (!Contains(expected, p))
                    expected.push_back(p);
            CProxyList read = start;
            ASSERT_TRUE(ReadProxyFile(read, path, replace));
            ASSERT_EQ(ListText(read), ListText(expected)) << "replace " << replace << "\nstart:\n"
                                                          << ListText(start) << "file:\n"
                                                          << ListText(inFile);
        }
    }
}

TEST_F(ProxyProperties, DamagedLinesAreSkippedAndASingleFieldLineEndsTheReading)
{
    for (int round = 0; round < 300; ++round) {
        CProxyList expected;
        std::string content;
        const int size = Between(0, 30);
        for (int i = 0; i < size; ++i) {
            const CProxy p = RandomProxy(i + 1);
            const int kind = Between(0, 3);
            std::string line = kind == 0 ? DamagedLine(p) : Line(p);
            if (kind == 1)
                line.replace(line.find('\t'), 1, "\t +");  // numbers are read as atoi reads them
            else if (kind == 2)
                line += "x";
            if (kind != 0)
                expected.push_back(p);
            content += line + (Between(0, 1) ? "\r\n" : "\n");
        }
        if (Between(0, 3) == 0)
            content += (Between(0, 1) ? "\r\n" : "end of list\n") + Line(RandomProxy(100)) + "\r\n";
        const std::string path = dir.WriteFile("proxy.tmp", content);

        CProxyList read;
        ASSERT_TRUE(ReadProxyFile(read, path, true));
        ASSERT_EQ(ListText(read), ListText(expected)) << "file:\n" << content;
    }
}

}  // namespace
