// The fast sort and file reader against the step-by-step reference versions
// on many random lists and files.
#include <gtest/gtest.h>

#include <random>

#include "data/countrycatalogue.h"
#include "data/proxy.h"
#include "data/proxyfile.h"
#include "proxylisttext.h"
#include "referenceproxyalgorithms.h"
#include "support/tempdir.h"

namespace {

class ReferenceComparison : public ::testing::Test {
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

    // Few distinct values so that speeds, uptimes, countries and identities repeat.
    CProxy RandomProxy(int countryCount)
    {
        static const int speeds[] = {-5, 0, 10, 10, 250, 3600000, 2147483647};
        const std::string ip = "127.0." + std::to_string(Between(0, 3)) + '.' + std::to_string(Between(0, 9));
        return CProxy(ip.c_str(), Between(1, 3), Between(-2, countryCount + 1), Between(-1, 4), Between(-1, 6),
                      speeds[Between(0, 6)]);
    }

    std::string RandomLine(int countryCount)
    {
        const CProxy p = RandomProxy(countryCount);
        std::string fields[6] = {p.ip,
                                 std::to_string(p.port),
                                 std::to_string(p.country),
                                 std::to_string(p.type),
                                 std::to_string(p.uptime),
                                 std::to_string(p.speed)};
        switch (Between(0, 9)) {
        case 0: fields[1] = "0"; break;                            // port 0
        case 1: fields[3] = std::to_string(Between(4, 9)); break;  // type too high
        case 2: fields[0] = "127.000.000.0001"; break;             // 16 characters
        case 3: fields[1] = " +" + fields[1] + "x"; break;         // atoi reading
        default: break;
        }
        int fieldCount = 6;
        if (Between(0, 9) == 0)
            fieldCount = Between(0, 1) ? Between(2, 5) : Between(7, 12);
        std::string line;
        for (int i = 0; i < fieldCount; ++i)
            line += (i ? "\t" : "") + (i < 6 ? fields[i] : std::string("extra"));
        return line + (Between(0, 1) ? "\r\n" : "\n");
    }

    std::mt19937 random{20240611};
    TempDir dir;
    ScopedChdir inDir{dir.Path()};
};

TEST_F(ReferenceComparison, SortGivesTheReferenceOrderForEveryKeyAndOrder)
{
    for (int countryCount : {0, 1, 5}) {
        UseCatalogueOf(countryCount);
        for (int round = 0; round < 300; ++round) {
            CProxyList list;
            const int size = Between(0, 40);
            for (int i = 0; i < size; ++i)
                list.push_back(RandomProxy(countryCount));
            for (SortKey key : {SortByCountry, SortByUptime, SortBySpeed}) {
                for (bool normal : {true, false}) {
                    CProxyList fast = list, reference = list;
                    SortProxyList(fast, key, normal);
                    ReferenceSortProxyList(reference, key, normal, countryCount);
                    ASSERT_EQ(ListText(fast), ListText(reference))
                        << "key " << key << " normal " << normal << " countries " << countryCount << "\ninput:\n"
                        << ListText(list);
                }
            }
        }
    }
}

TEST_F(ReferenceComparison, ReadProxyFileKeepsTheReferenceEntries)
{
    for (int round = 0; round < 300; ++round) {
        std::string content;
        const int lines = Between(0, 40);
        for (int i = 0; i < lines; ++i)
            content += RandomLine(5);
        if (Between(0, 4) == 0)
            content += "\r\n" + RandomLine(5);  // an empty line ends the reading
        const std::string path = dir.WriteFile("proxy.tmp", content);

        CProxyList start;
        const int existing = Between(0, 8);
        for (int i = 0; i < existing; ++i)
            start.push_back(RandomProxy(5));
        for (bool replace : {false, true}) {
            CProxyList fast = start, reference = start;
            ASSERT_TRUE(ReadProxyFile(fast, path, replace));
            ASSERT_TRUE(ReferenceReadProxyFile(reference, path, replace));
            ASSERT_EQ(ListText(fast), ListText(reference)) << "replace " << replace << "\nfile:\n" << content;
        }
    }
}

}  // namespace
