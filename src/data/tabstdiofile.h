#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Line-oriented single-byte text file whose lines are split into fields at
// tabs. Lines end in CR LF on write; on read a line ends at LF with a CR right
// before it dropped. Lines are read in pieces of at most 255 characters and
// hold at most ten fields. One object serves one read or one write.
class CTabStdioFile {
public:
    enum Mode { modeRead, modeCreate };

    static constexpr int kMaxFields = 10;
    static constexpr size_t kMaxPiece = 255;

    CTabStdioFile() = default;
    ~CTabStdioFile();
    CTabStdioFile(const CTabStdioFile&) = delete;
    CTabStdioFile& operator=(const CTabStdioFile&) = delete;

    // modeCreate truncates an existing file.
    bool Open(const std::string& path, Mode mode);
    void Close();

    // The next piece of at most 255 characters without its line end; false at end of file.
    bool ReadPiece(std::string& out);
    // Writes text unchanged except that each LF becomes CR LF.
    void WriteText(const std::string& text);

    // Reads the next piece and splits it into fields; false at end of file
    // (the current fields then stay as they were).
    bool ReadLine();
    // The next field, reading a new line when the current one is used up.
    // last true: succeeds only on the final field of its line; last false:
    // only on a field followed by more. Failing does not advance.
    bool ReadField(std::string& out, bool last);
    // True when the next field equals text exactly; does not advance.
    bool FieldEquals(const std::string& text);
    // Appends a field to the output line, then a tab, or the line end and
    // writes the line. A field that would make the line 256 or more long, or
    // that holds a tab or a line feed, is dropped with the rest of its line.
    void WriteField(const std::string& text, bool endOfLine);

    // Reads a decimal the way atoi does: leading blanks, one sign, digits up
    // to the first non-digit; no digits reads as 0.
    static int ToInt(const std::string& text);

    // True once a write (or the final flush on Close) failed.
    bool Failed() const { return failed_; }

    int FieldCount() const { return fieldCount_; }
    int FieldIndex() const { return fieldIndex_; }

private:
    bool NextLineIfUsedUp();
    // Own read buffer, so a line end right after a full piece can be looked at
    // two characters ahead.
    bool Buffered(size_t count);
    int PeekChar(size_t ahead = 0);
    int GetChar();

    std::FILE* file_ = nullptr;
    std::vector<char> readBuffer_;
    size_t readPos_ = 0;
    size_t readEnd_ = 0;
    std::string fields_[kMaxFields];
    int fieldCount_ = 0;
    int fieldIndex_ = 0;
    std::string outputLine_;
    bool lineDropped_ = false;  // a field of the line being assembled did not fit
    bool failed_ = false;
};
