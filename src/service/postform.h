#pragma once

#include <string>
#include <sys/types.h>
#include <unistd.h>

// Timing of PostForm. The defaults suit the real service; tests shorten them.
struct PostFormOptions {
    long connectTimeoutSeconds = 15;  // give up connecting after this long
    long lowSpeedTimeSeconds = 60;    // abort when nothing arrives for this long
    // A service on this machine is trusted only when this user runs it:
    // another user could listen on its port first and hand out proxies of
    // their own. Checked after connecting, before anything is sent.
    uid_t localServiceOwner = getuid();
};

// Process-wide options used by every PostForm call.
PostFormOptions& PostFormTuning();

// Posts body (sent as given, no URL encoding) to url as a form and puts the
// answer, up to its first NUL byte, into out. Returns true when the transfer
// completed without error. Bytes received before a failure are still stored;
// when nothing was received out is left as it was. Never uses a proxy. A
// loopback address served by another user's program gets nothing and fails.
bool PostForm(const std::string& url, const std::string& body, std::string& out);

// Gets the page at url into out, as PostForm does; false also when the
// service answers with anything but 200 (a page it does not have).
bool GetPage(const std::string& url, std::string& out);
