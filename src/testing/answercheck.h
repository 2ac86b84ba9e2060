#pragma once

#include <cstddef>

struct ResponseBuffer;

// What the tests read from a fetched body. Texts are single-byte; letter case
// is ignored for ASCII letters.

// True when the body holds data and no NUL byte before its end.
bool IsTextBody(const ResponseBuffer& body);
// needle occurs in text, ignoring letter case; an empty needle always occurs.
bool ContainsNoCase(const char* text, const char* needle);
// The text holds one of the words that mark a refusal or block page:
// "error", "forbidden", "denied", "deny", "human", "proxy".
bool ContainsRejectWord(const char* text);
