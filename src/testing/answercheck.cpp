#include "testing/answercheck.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "service/responsebuffer.h"

bool IsTextBody(const ResponseBuffer& body)
{
    return body.data && std::strlen(body.data) == body.size;
}

bool ContainsNoCase(const char* text, const char* needle)
{
    const char* textEnd = text + std::strlen(text);
    const char* needleEnd = needle + std::strlen(needle);
    auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text, textEnd, needle, needleEnd, sameLetter) != textEnd || needle == needleEnd;
}

bool ContainsRejectWord(const char* text)
{
    static const char* const kRejectWords[] = {"error", "forbidden", "denied", "deny", "human", "proxy"};
    for (const char* word : kRejectWords)
        if (ContainsNoCase(text, word))
            return true;
    return false;
}
