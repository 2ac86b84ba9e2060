#pragma once

#include <memory>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "service/responsebuffer.h"

struct CProxy;
class CTestJob;
class CTransferLoop;
class CWorker;

// What a test fetch asks for, copied from the test section when a job starts.
struct TestTarget {
    std::string url;
    std::string expected;  // text a good answer contains
    long timeoutMs = 0;
};

// The worker's test section as a TestTarget; false when it has no test page
// (the settings are not loaded yet).
bool ReadTestTarget(const CWorker& worker, TestTarget& target);

// A test page answer larger than this fails: a proxy streaming an endless
// body must not exhaust memory.
constexpr size_t kMaxTestBody = size_t(1) << 20;

// One fetch of the test page through a proxy, with its own receive buffer.
// Started by a CTransferLoop; destroying it abandons the transfer.
class CTestFetch {
public:
    CTestFetch(const TestTarget& target, const CProxy& proxy, curl_proxytype proxyType);
    ~CTestFetch();
    CTestFetch(const CTestFetch&) = delete;
    CTestFetch& operator=(const CTestFetch&) = delete;

    // Completed with CURLE_OK and a body without NUL bytes.
    bool BroughtText() const;
    // libcurl's total time of the transfer, in milliseconds.
    double Milliseconds() const;

    CURL* const handle;
    ResponseBuffer body;
    bool completed = false;  // libcurl reported the transfer done
    CURLcode result = CURLE_OK;
    CTransferLoop* loop = nullptr;  // the loop running the transfer, until it ends
    CURLM* multi = nullptr;         // the loop's multi handle it runs on
    CTestJob* job = nullptr;        // the job the fetch belongs to
};
