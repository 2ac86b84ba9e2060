#include "testing/transfers.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "data/proxy.h"
#include "service/curlglobal.h"
#include "settings/settingtestitem.h"
#include "testing/answercheck.h"
#include "testing/testflags.h"
#include "testing/worker.h"

namespace {
const char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
constexpr int kLongestWaitMs = 1000;

// The multi handles inside RunTransfers, so that a cancel can wake them.
std::mutex waitingLock;
std::unordered_set<CURLM*>& Waiting()
{
    static std::unordered_set<CURLM*> waiting;
    return waiting;
}

class WaitingRegistration {
public:
    explicit WaitingRegistration(CURLM* multi) : multi(multi)
    {
        std::lock_guard<std::mutex> lock(waitingLock);
        Waiting().insert(multi);
    }
    ~WaitingRegistration()
    {
        std::lock_guard<std::mutex> lock(waitingLock);
        Waiting().erase(multi);
    }

private:
    CURLM* multi;
};
}  // namespace

bool ReadTestTarget(const CWorker& worker, TestTarget& target)
{
    const CSettingTestItem* settings = worker.TestSettings();
    if (!settings)
        return false;
    target.url = settings->testUrl;
    target.expected = settings->correctValue;
    target.timeoutMs = settings->timeoutSeconds * 1000L;
    return true;
}

CTestFetch::CTestFetch(const TestTarget& target, const CProxy& proxy, curl_proxytype proxyType)
    : handle(curl_easy_init())
{
    body.limit = kMaxTestBody;
    if (!handle)
        return;
    curl_easy_setopt(handle, CURLOPT_URL, target.url.c_str());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, target.timeoutMs);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.ip);
    curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
    curl_easy_setopt(handle, CURLOPT_PROXYTYPE, static_cast<long>(proxyType));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    // Threads must not get libcurl's timeout signals.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // An empty list overrides the no_proxy environment variable, which would
    // otherwise let a fetch bypass the proxy under test.
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
}

CTestFetch::~CTestFetch()
{
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

CFetchGroup::CFetchGroup() : multi((EnsureCurlGlobalInit(), curl_multi_init())) {}

CFetchGroup::~CFetchGroup()
{
    for (const auto& fetch : fetches)
        if (multi && fetch->handle)
            curl_multi_remove_handle(multi, fetch->handle);
    fetches.clear();
    if (multi)
        curl_multi_cleanup(multi);
}

CTestFetch& CFetchGroup::Add(const TestTarget& target, const CProxy& proxy, curl_proxytype proxyType)
{
    fetches.push_back(std::make_unique<CTestFetch>(target, proxy, proxyType));
    CTestFetch& fetch = *fetches.back();
    if (multi && fetch.handle)
        curl_multi_add_handle(multi, fetch.handle);
    return fetch;
}

void CFetchGroup::Run()
{
    if (!multi)
        return;
    RunTransfers(multi);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        auto it = std::find_if(fetches.begin(), fetches.end(),
                               [&](const auto& fetch) { return fetch->handle == message->easy_handle; });
        if (it == fetches.end())
            continue;
        (*it)->completed = true;
        (*it)->result = message->data.result;
    }
}

void RunTransfers(CURLM* multi)
{
    // Register before the first look at testCanceled: a cancel after that
    // look wakes the poll below, one before it is seen by the look.
    WaitingRegistration registration(multi);
    int running = 0;
    curl_multi_perform(multi, &running);
    while (running > 0 && !testCanceled()) {
        // curl_multi_poll also waits correctly when libcurl has no socket to
        // watch yet, and honours libcurl's own timers.
        if (curl_multi_poll(multi, nullptr, 0, kLongestWaitMs, nullptr) != CURLM_OK)
            break;
        curl_multi_perform(multi, &running);
    }
}

void WakeTransfers()
{
    std::lock_guard<std::mutex> lock(waitingLock);
    for (CURLM* multi : Waiting())
        curl_multi_wakeup(multi);
}
