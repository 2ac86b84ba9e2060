#include "data/tabstdiofile.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/tempdir.h"

namespace {

class TabStdioFileTest : public ::testing::Test {
protected:
    // Opens a file holding content for reading.
    CTabStdioFile& Reader(const std::string& content)
    {
        EXPECT_TRUE(file.Open(dir.WriteFile("in.txt", content), CTabStdioFile::modeRead));
        return file;
    }
    std::vector<std::string> Pieces(const std::string& content)
    {
        Reader(content);
        std::vector<std::string> pieces;
        std::string piece;
        while (file.ReadPiece(piece))
            pieces.push_back(piece);
        return pieces;
    }

    TempDir dir;
    CTabStdioFile file;
};

using Strings = std::vector<std::string>;

TEST_F(TabStdioFileTest, PiecesEndAtLineFeedDropCrAndSplitAfter255)
{
    const std::string a300(300, 'a');
    EXPECT_EQ(Pieces(a300 + "\r\nnext\n"), (Strings{std::string(255, 'a'), std::string(45, 'a'), "next"}));
    // A line of exactly 255 characters is one line, whichever line end follows it.
    EXPECT_EQ(Pieces(std::string(255, 'b') + "\r\nx\r\n"), (Strings{std::string(255, 'b'), "x"}));
    EXPECT_EQ(Pieces(std::string(255, 'b') + "\nx"), (Strings{std::string(255, 'b'), "x"}));
    // A CR that is the 255th character but right before LF is still dropped.
    EXPECT_EQ(Pieces(std::string(254, 'c') + "\r\n"), (Strings{std::string(254, 'c')}));
    // A CR not before LF is text; empty lines are pieces; a missing final line end loses nothing.
    EXPECT_EQ(Pieces("a\rb\r\n\r\n\nlast"), (Strings{"a\rb", "", "", "last"}));
    EXPECT_EQ(Pieces(""), Strings{});
}

TEST_F(TabStdioFileTest, ReadLineSplitsAtTabsKeepingTenFields)
{
    Reader("1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\r\n\r\nk\tv");
    ASSERT_TRUE(file.ReadLine());
    EXPECT_EQ(file.FieldCount(), 10);
    EXPECT_EQ(file.FieldIndex(), 0);
    std::string field;
    for (int i = 1; i <= 9; ++i) {
        ASSERT_TRUE(file.ReadField(field, false));
        EXPECT_EQ(field, std::to_string(i));
    }
    ASSERT_TRUE(file.ReadField(field, true));  // the tenth is now the final field
    EXPECT_EQ(field, "10");

    ASSERT_TRUE(file.ReadLine());  // empty line: one empty field
    EXPECT_EQ(file.FieldCount(), 1);
    ASSERT_TRUE(file.ReadField(field, true));
    EXPECT_EQ(field, "");

    ASSERT_TRUE(file.ReadLine());
    EXPECT_EQ(file.FieldCount(), 2);
    EXPECT_FALSE(file.ReadLine());  // end of file leaves the fields as they were
    EXPECT_EQ(file.FieldCount(), 2);
    EXPECT_TRUE(file.FieldEquals("k"));
}

TEST_F(TabStdioFileTest, LastFlagTellsKeyFromValue)
{
    Reader("key\tvalue\nsingle\n");
    std::string field = "untouched";
    EXPECT_FALSE(file.ReadField(field, true));  // a key is not the final field
    EXPECT_EQ(file.FieldIndex(), 0);
    EXPECT_EQ(field, "untouched");
    EXPECT_TRUE(file.FieldEquals("key"));
    EXPECT_FALSE(file.FieldEquals("Key"));
    ASSERT_TRUE(file.ReadField(field, false));
    EXPECT_EQ(field, "key");
    EXPECT_FALSE(file.ReadField(field, false));  // the value is
    ASSERT_TRUE(file.ReadField(field, true));
    EXPECT_EQ(field, "value");
    // The used-up line makes the next request read the next line.
    EXPECT_TRUE(file.FieldEquals("single"));
    EXPECT_FALSE(file.ReadField(field, false));
    ASSERT_TRUE(file.ReadField(field, true));
    EXPECT_EQ(field, "single");
    EXPECT_FALSE(file.FieldEquals("single"));
    EXPECT_FALSE(file.ReadField(field, true));
}

TEST_F(TabStdioFileTest, WriteFieldBuildsCrLfLinesAndDropsFieldsThatDoNotFit)
{
    ASSERT_TRUE(file.Open(dir.File("out.txt"), CTabStdioFile::modeCreate));
    file.WriteField("a", false);
    file.WriteField("b", true);
    file.WriteField(std::string(254, 'x'), true);  // 254 + 1 = 255: fits
    file.WriteField(std::string(255, 'y'), true);  // 255 + 1 = 256: dropped
    // A line with a field that does not fit is dropped whole, never written
    // with a missing field nor left open to run into the next line.
    file.WriteField(std::string(200, 'p'), false);
    file.WriteField(std::string(54, 'q'), false);  // 201 + 54 + 1 = 256: dropped
    file.WriteField(std::string(53, 'r'), true);
    file.WriteField("k", false);
    file.WriteField(std::string(254, 'v'), true);  // 2 + 254 + 1 = 257: dropped
    // So is a line whose field holds a tab or a line break: written, it
    // would read back as other fields or other lines.
    file.WriteField("URL", false);
    file.WriteField("http://a/\n", true);
    file.WriteField("x\ty", false);
    file.WriteField("z", true);
    file.WriteField("next", true);
    file.WriteText("t1\nt2\r\n");
    file.Close();
    EXPECT_FALSE(file.Failed());
    EXPECT_EQ(dir.ReadFile("out.txt"), "a\tb\r\n" + std::string(254, 'x') + "\r\nnext\r\nt1\r\nt2\r\r\n");
}

TEST_F(TabStdioFileTest, CreateTruncatesAndOpenFailuresAreReported)
{
    dir.WriteFile("old.txt", "old content that is longer\r\n");
    ASSERT_TRUE(file.Open(dir.File("old.txt"), CTabStdioFile::modeCreate));
    file.WriteField("new", true);
    file.Close();
    EXPECT_EQ(dir.ReadFile("old.txt"), "new\r\n");

    EXPECT_FALSE(file.Open(dir.File("missing.txt"), CTabStdioFile::modeRead));
    EXPECT_FALSE(file.Open(dir.File("no/such/folder/x.txt"), CTabStdioFile::modeCreate));
    std::string piece;
    EXPECT_FALSE(file.ReadPiece(piece));
    EXPECT_FALSE(file.ReadLine());
}

TEST_F(TabStdioFileTest, FailedReportsAWriteThatDidNotReachTheDisk)
{
    ASSERT_TRUE(file.Open("/dev/full", CTabStdioFile::modeCreate));
    file.WriteField("lost", true);
    file.Close();  // the buffered line only fails when flushed
    EXPECT_TRUE(file.Failed());
    ASSERT_TRUE(file.Open(dir.File("ok.txt"), CTabStdioFile::modeCreate));
    EXPECT_FALSE(file.Failed());  // a new file starts clean
}

TEST(TabStdioFileToInt, ReadsLikeAtoi)
{
    EXPECT_EQ(CTabStdioFile::ToInt(" +12"), 12);
    EXPECT_EQ(CTabStdioFile::ToInt("\t 7"), 7);
    EXPECT_EQ(CTabStdioFile::ToInt("12abc"), 12);
    EXPECT_EQ(CTabStdioFile::ToInt("-5"), -5);
    EXPECT_EQ(CTabStdioFile::ToInt("abc"), 0);
    EXPECT_EQ(CTabStdioFile::ToInt(""), 0);
    EXPECT_EQ(CTabStdioFile::ToInt("+-3"), 0);
    EXPECT_EQ(CTabStdioFile::ToInt("- 3"), 0);
    EXPECT_EQ(CTabStdioFile::ToInt("-2147483648"), INT_MIN);
    EXPECT_EQ(CTabStdioFile::ToInt("2147483647"), INT_MAX);
    // Out of range values are clamped instead of wrapping.
    EXPECT_EQ(CTabStdioFile::ToInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(CTabStdioFile::ToInt("-99999999999999999999"), INT_MIN);
}

}  // namespace
