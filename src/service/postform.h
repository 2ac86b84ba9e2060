#pragma once

#include <string>

// Timing of PostForm. The defaults suit the real service; tests shorten them.
struct PostFormOptions {
    long connectTimeoutSeconds = 15;  // give up connecting after this long
    long lowSpeedTimeSeconds = 60;    // abort when nothing arrives for this long
};

// Process-wide options used by every PostForm call.
PostFormOptions& PostFormTuning();

// Posts body (sent as given, no URL encoding) to url as a form and puts the
// answer, up to its first NUL byte, into out. Returns true when the transfer
// completed without error. Bytes received before a failure are still stored;
// when nothing was received out is left as it was. Never uses a proxy.
bool PostForm(const std::string& url, const std::string& body, std::string& out);

// Gets the page at url into out, as PostForm does; false also when the
// service answers with anything but 200 (a page it does not have).
bool GetPage(const std::string& url, std::string& out);
