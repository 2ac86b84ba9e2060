#include "data/countrycatalogue.h"

#include <gtest/gtest.h>

#include "support/tempdir.h"

namespace {

// All entries as "code:name|", so that order, count and empty entries show at once.
std::string Entries(const CCountryCatalogue& catalogue)
{
    std::string text;
    for (int i = 0; i < catalogue.Count(); ++i)
        text += catalogue.EntryAt(i)->code + ':' + catalogue.EntryAt(i)->name + '|';
    return text;
}

class CountryCatalogueTest : public ::testing::Test {
protected:
    std::string Load(const std::string& content)
    {
        EXPECT_TRUE(catalogue.Load(dir.WriteFile("countries.nbx", content)));
        return Entries(catalogue);
    }
    void TearDown() override { ResetCountryCatalogueForTest(); }

    TempDir dir;
    CCountryCatalogue catalogue;
};

TEST_F(CountryCatalogueTest, OneEntryPerLineInFileOrder)
{
    EXPECT_EQ(Load("US\tUnited States\r\nDE\tGermany\r\nFR\tFrance"), "US:United States|DE:Germany|FR:France|");
    EXPECT_EQ(catalogue.EntryAt(-1), nullptr);
    EXPECT_EQ(catalogue.EntryAt(3), nullptr);
    ASSERT_NE(catalogue.EntryAt(2), nullptr);

    EXPECT_FALSE(catalogue.Load(dir.File("missing.nbx")));
    EXPECT_EQ(catalogue.Count(), 0);
}

TEST_F(CountryCatalogueTest, SingleFieldLineEndsFillingButEveryLineCounts)
{
    EXPECT_EQ(Load("US\tUnited States\r\nDE\tGermany\r\n\r\n"), "US:United States|DE:Germany|:|");
    EXPECT_EQ(Load("US\tUnited States\r\nXX\r\nDE\tGermany\r\n"), "US:United States|:|:|");
}

TEST_F(CountryCatalogueTest, MalformedLinesStayEmptyAndKeepTheNumbering)
{
    const std::string name63(63, 'n');
    EXPECT_EQ(Load("USA\tUnited States\r\n"  // code too long
                   "DE\tGermany\textra\r\n"  // three fields
                   "AA\t"
                   + name63
                   + "x\r\n"  // name of 64
                     "BB\t"
                   + name63
                   + "\r\n"  // name of 63
                     "FR\tFrance\r\n"),
              ":|:|:|BB:" + name63 + "|FR:France|");
    // A line over 255 characters is read as two lines; its single-field rest ends the filling.
    EXPECT_EQ(Load("AA\t" + std::string(300, 'n') + "\r\nFR\tFrance\r\n"), ":|:|:|");
}

TEST_F(CountryCatalogueTest, ProcessWideCatalogueLoadsOnceFromTheWorkingFolder)
{
    ScopedChdir inDir(dir.Path());
    ResetCountryCatalogueForTest();
    EXPECT_EQ(GetCountryCatalogue().Count(), 0);  // missing file: empty
    dir.WriteFile("countries.nbx", "US\tUnited States\r\nDE\tGermany\r\nus\tlower case\r\n");
    EXPECT_EQ(GetCountryCatalogue().Count(), 0);  // and not tried again
    EXPECT_EQ(FindCountryByCode("US"), -1);

    ResetCountryCatalogueForTest();
    EXPECT_EQ(&GetCountryCatalogue(), &GetCountryCatalogue());
    EXPECT_EQ(GetCountryCatalogue().Count(), 3);
    EXPECT_EQ(FindCountryByCode("DE"), 1);
    EXPECT_EQ(FindCountryByCode("us"), 2);  // exact case
    EXPECT_EQ(FindCountryByCode("US"), 0);
    EXPECT_EQ(FindCountryByCode("Us"), -1);
    EXPECT_EQ(FindCountryByCode("U"), -1);
    EXPECT_EQ(FindCountryByCode("USA"), -1);
    EXPECT_EQ(FindCountryByCode(""), -1);
}

}  // namespace
