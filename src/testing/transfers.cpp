#include "testing/transfers.h"

#include "data/proxy.h"
#include "settings/setting.h"
#include "testing/answercheck.h"
#include "testing/transferloop.h"
#include "testing/worker.h"

namespace {
const char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
constexpr long kReceiveBufferSize = 4096;
}  // namespace

bool ReadTestTarget(const CWorker& worker, TestTarget& target)
{
    const CSettingTestItem& settings = worker.TestSettings();
    target.url = settings.testUrl;
    target.expected = settings.correctValue;
    target.timeoutMs = settings.timeoutSeconds * 1000L;
    return !target.url.empty();  // no page before the settings are loaded
}

CTestFetch::CTestFetch(const TestTarget& target, const CProxy& proxy, curl_proxytype proxyType)
    : handle(curl_easy_init())
{
    body.limit = kMaxTestBody;
    if (!handle)
        return;
    curl_easy_setopt(handle, CURLOPT_URL, target.url.c_str());
    // Only web pages, also after a redirect: a file:// or other local URL
    // would "pass" without the proxy ever being asked.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, target.timeoutMs);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.ip);
    curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
    curl_easy_setopt(handle, CURLOPT_PROXYTYPE, static_cast<long>(proxyType));
    // SOCKS5 without authentication only: the method a public proxy offers,
    // and no GSS-API exchange with a proxy that merely claims it.
    if (proxyType == CURLPROXY_SOCKS5)
        curl_easy_setopt(handle, CURLOPT_SOCKS5_AUTH, static_cast<long>(CURLAUTH_NONE));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    // Threads must not get libcurl's timeout signals.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // An empty list overrides the no_proxy environment variable, which would
    // otherwise let a fetch bypass the proxy under test.
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    // Every fetch is measured on a connection of its own, and no idle
    // connection outlives its fetch: one loop runs thousands of fetches.
    // Through a SOCKS proxy libcurl files every connection under the test
    // page's host, so a search for one to reuse would walk all of them.
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    // libcurl caches even a numeric proxy address under its port, and by
    // default walks the whole cache for stale entries at every connect:
    // thousands of proxies would make each connect cost thousands of steps.
    // Entries kept for the loop's life (one run) make it a plain lookup.
    curl_easy_setopt(handle, CURLOPT_DNS_CACHE_TIMEOUT, -1L);
    // A test page is small; libcurl's 16 KiB default receive buffer per
    // transfer would be most of the memory of a wide run.
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
}

CTestFetch::~CTestFetch()
{
    if (loop)
        loop->Remove(*this);
    if (handle)
        curl_easy_cleanup(handle);
}

bool CTestFetch::BroughtText() const
{
    return completed && result == CURLE_OK && IsTextBody(body);
}

double CTestFetch::Milliseconds() const
{
    curl_off_t microseconds = 0;
    curl_easy_getinfo(handle, CURLINFO_TOTAL_TIME_T, &microseconds);
    return static_cast<double>(microseconds) / 1000.0;
}
