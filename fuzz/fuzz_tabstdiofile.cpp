// The tab-separated text reader: pieces, lines and fields, and the field
// writer reading back what it wrote.
#include <string>
#include <vector>

#include "data/tabstdiofile.h"
#include "fuzzsupport.h"

namespace {

using Line = std::vector<std::string>;

size_t JoinedLength(const Line& line)
{
    size_t length = line.size() - 1;  // the tabs
    for (const std::string& field : line)
        length += field.size();
    return length;
}

// Reads every line field by field, checking that a field asked for with the
// wrong "last" flag is refused without advancing.
std::vector<Line> ReadFields(const std::string& path)
{
    std::vector<Line> lines;
    CTabStdioFile file;
    FUZZ_CHECK(file.Open(path, CTabStdioFile::modeRead));
    while (file.ReadLine()) {
        const int count = file.FieldCount();
        FUZZ_CHECK(count >= 1 && count <= CTabStdioFile::kMaxFields);
        Line line;
        std::string field;
        for (int i = 0; i < count; ++i) {
            const bool last = i == count - 1;
            FUZZ_CHECK(!file.ReadField(field, !last));
            FUZZ_CHECK(file.ReadField(field, last));
            FUZZ_CHECK(field.find('\t') == std::string::npos);
            line.push_back(field);
        }
        FUZZ_CHECK(JoinedLength(line) <= CTabStdioFile::kMaxPiece);
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = WriteFuzzFile("text.in", data, size);
    {
        CTabStdioFile file;
        FUZZ_CHECK(file.Open(input, CTabStdioFile::modeRead));
        std::string piece;
        size_t pieces = 0;
        while (file.ReadPiece(piece)) {
            FUZZ_CHECK(piece.size() <= CTabStdioFile::kMaxPiece);
            FUZZ_CHECK(piece.find('\n') == std::string::npos);
            FUZZ_CHECK(++pieces <= size);
        }
    }
    const std::vector<Line> lines = ReadFields(input);

    // Written back, a line of at most 254 characters returns unchanged; a
    // longer one is dropped whole and leaves the lines after it alone.
    const std::string output = FuzzWorkDir() + "/text.out";
    {
        CTabStdioFile file;
        FUZZ_CHECK(file.Open(output, CTabStdioFile::modeCreate));
        for (const Line& line : lines)
            for (size_t i = 0; i < line.size(); ++i)
                file.WriteField(line[i], i + 1 == line.size());
        file.Close();
        FUZZ_CHECK(!file.Failed());
    }
    std::vector<Line> expected;
    for (const Line& line : lines)
        if (JoinedLength(line) <= CTabStdioFile::kMaxPiece - 1)
            expected.push_back(line);
    FUZZ_CHECK(ReadFields(output) == expected);
    return 0;
}
