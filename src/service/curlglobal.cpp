#include "service/curlglobal.h"

#include <cstdlib>
#include <mutex>

#include <curl/curl.h>

namespace {
bool curlReady = false;

void CleanupCurl()
{
    curl_global_cleanup();
}
}  // namespace

bool EnsureCurlGlobalInit()
{
    // curl_global_init is not thread-safe on every build of libcurl and must
    // run once before any handle exists; test threads may race to get here.
    static std::once_flag once;
    std::call_once(once, [] {
        curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        if (curlReady)
            std::atexit(CleanupCurl);
    });
    return curlReady;
}
