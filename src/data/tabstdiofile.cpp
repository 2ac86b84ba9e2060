#include "data/tabstdiofile.h"

#include <climits>
#include <cstring>

namespace {
constexpr size_t kReadBufferSize = 16384;
}

CTabStdioFile::~CTabStdioFile()
{
    Close();
}

bool CTabStdioFile::Open(const std::string& path, Mode mode)
{
    Close();
    for (auto& field : fields_)
        field.clear();
    fieldCount_ = fieldIndex_ = 0;
    outputLine_.clear();
    failed_ = false;
    readPos_ = readEnd_ = 0;
    // Binary mode: line ends are translated here, the same on every platform.
    file_ = std::fopen(path.c_str(), mode == modeRead ? "rb" : "w+b");
    return file_ != nullptr;
}

void CTabStdioFile::Close()
{
    if (!file_)
        return;
    // Buffered writes may only fail when flushed, so the close counts as a write.
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    readBuffer_.clear();
    readBuffer_.shrink_to_fit();
}

bool CTabStdioFile::Buffered(size_t count)
{
    if (readEnd_ - readPos_ >= count)
        return true;
    if (!file_)
        return false;
    if (readBuffer_.empty())
        readBuffer_.resize(kReadBufferSize);
    std::memmove(readBuffer_.data(), readBuffer_.data() + readPos_, readEnd_ - readPos_);
    readEnd_ -= readPos_;
    readPos_ = 0;
    readEnd_ += std::fread(readBuffer_.data() + readEnd_, 1, readBuffer_.size() - readEnd_, file_);
    return readEnd_ >= count;
}

int CTabStdioFile::PeekChar(size_t ahead)
{
    if (!Buffered(ahead + 1))
        return EOF;
    return static_cast<unsigned char>(readBuffer_[readPos_ + ahead]);
}

int CTabStdioFile::GetChar()
{
    const int c = PeekChar();
    if (c != EOF)
        ++readPos_;
    return c;
}

bool CTabStdioFile::ReadPiece(std::string& out)
{
    out.clear();
    if (PeekChar() == EOF)
        return false;
    while (out.size() < kMaxPiece) {
        const int c = GetChar();
        if (c == EOF)
            return true;  // last line without a line end
        if (c == '\n') {
            if (!out.empty() && out.back() == '\r')
                out.pop_back();
            return true;
        }
        out.push_back(static_cast<char>(c));
    }
    // A full piece: the rest of the line becomes the next piece, but a line
    // end directly after it ends this one, so a line of exactly 255
    // characters is not followed by an empty one.
    if (PeekChar() == '\n') {
        GetChar();
        if (out.back() == '\r')
            out.pop_back();
    } else if (PeekChar() == '\r' && PeekChar(1) == '\n') {
        GetChar();
        GetChar();
    }
    return true;
}

void CTabStdioFile::WriteText(const std::string& text)
{
    std::string translated;
    translated.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n')
            translated.push_back('\r');
        translated.push_back(c);
    }
    if (!file_ || std::fwrite(translated.data(), 1, translated.size(), file_) != translated.size())
        failed_ = true;
}

bool CTabStdioFile::ReadLine()
{
    std::string piece;
    if (!ReadPiece(piece))
        return false;
    int count = 0;
    size_t start = 0;
    for (;;) {
        const size_t tab = piece.find('\t', start);
        if (tab == std::string::npos) {
            fields_[count++].assign(piece, start, std::string::npos);
            break;
        }
        fields_[count++].assign(piece, start, tab - start);
        start = tab + 1;
        if (count == kMaxFields)
            break;  // the text after the tenth tab is dropped
    }
    fieldCount_ = count;
    fieldIndex_ = 0;
    return true;
}

bool CTabStdioFile::NextLineIfUsedUp()
{
    return fieldIndex_ < fieldCount_ || ReadLine();
}

bool CTabStdioFile::ReadField(std::string& out, bool last)
{
    if (!NextLineIfUsedUp())
        return false;
    const bool isFinal = fieldIndex_ == fieldCount_ - 1;
    if (last != isFinal)
        return false;
    out = fields_[fieldIndex_++];
    return true;
}

bool CTabStdioFile::FieldEquals(const std::string& text)
{
    return NextLineIfUsedUp() && fields_[fieldIndex_] == text;
}

void CTabStdioFile::WriteField(const std::string& text, bool endOfLine)
{
    // A field that does not fit is dropped, and with it the rest of its line:
    // writing the line without it would shift its fields, and leaving the line
    // open would join it with the next one. A tab or a line feed inside a
    // field would split the line when it is read back.
    if (outputLine_.size() + text.size() + 1 >= 256 || text.find_first_of("\t\n") != std::string::npos)
        lineDropped_ = true;
    if (!lineDropped_) {
        outputLine_ += text;
        outputLine_ += endOfLine ? '\n' : '\t';
    }
    if (!endOfLine)
        return;
    if (!lineDropped_)
        WriteText(outputLine_);
    outputLine_.clear();
    lineDropped_ = false;
}

int CTabStdioFile::ToInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Values beyond int are clamped (atoi leaves them undefined).
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}
