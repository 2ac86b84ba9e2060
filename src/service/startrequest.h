#pragma once

#include <string>

// The machine's public IPv4 address as the service reported it (at most 15
// characters, NUL-terminated; empty until reported) and the catalogue index
// of its country (-1 = none).
extern char realAddress[16];
extern int realCountry;

// The program's product version, "1.3.0.0".
std::string ProductVersion();

// Posts the start request to the service; returns the answer, empty when
// nothing arrived.
std::string SendStartRequest();

// A message the service pushes in its start answer.
struct PushMessage {
    std::string caption;      // caption of the second button (Latin-1)
    bool hasCaption = false;  // false keeps the button's own caption
    int type = 1;             // 1 to 4
    std::string body;         // message text (Latin-1)
};

// What evaluating the start answer may ask of the user interface.
class IStartAnswerUi {
public:
    virtual ~IStartAnswerUi() = default;
    // Tells "Could not access server,please try again later.";
    // RequestExit follows.
    virtual void ShowUnreachable() = 0;
    // Shows the message modally; for types 3 and 4 closing it requests the exit.
    virtual void ShowPushMessage(const PushMessage& message) = 0;
    // Requests the exit of the program.
    virtual void RequestExit() = 0;
};

// Evaluates the start answer: reports an empty answer as unreachable and
// requests the exit, shows a pushed message, and stores realCountry and
// realAddress from their markers.
void EvaluateStartAnswer(const std::string& answer, IStartAnswerUi& ui);

// Parses a pushed message; false when the answer holds none. The caption is
// always given (hasCaption true), empty when its markers are missing.
bool ParsePushMessage(const std::string& answer, PushMessage& message);

// Asks the service for the page the proxy tests fetch and the text it must
// contain (one request, answer "URL|text|"). False, with url and expected
// untouched, when nothing usable arrived.
bool RequestTestTarget(std::string& url, std::string& expected);

// Splits a test-target answer "URL|text|" (anything after the second "|" is
// ignored). False when it is shorter than 8 or longer than 49 bytes, lacks a
// separator, leaves the address or the text empty or names no http or https page.
bool ParseTestTarget(const std::string& answer, std::string& url, std::string& expected);
