#include "testing/worker.h"

#include <string_view>
#include <system_error>
#include <thread>

#include "settings/setting.h"
#include "testing/testflags.h"

CWorker::CWorker(int maxThreads, const CSettingTestItem* testSettings)
    : maxThreads(maxThreads > 0 ? maxThreads : 1), testSettings(testSettings)
{
}

CWorker::~CWorker() = default;

const CSettingTestItem* CWorker::TestSettings() const
{
    if (testSettings)
        return testSettings;
    CSetting& setting = GetSetting();
    return setting.IsLoaded() ? setting.GetTestItem() : nullptr;
}

size_t CWorker::IdentityHash::operator()(const CProxy* proxy) const
{
    return std::hash<std::string_view>()(proxy->ip) * 31 + static_cast<size_t>(proxy->port);
}

void AddProxies(CWorker& worker, const CProxyList& list)
{
    std::lock_guard<std::mutex> lock(worker.pendingLock);
    for (const CProxy& proxy : list) {
        if (worker.knownIndex.count(&proxy))
            continue;
        // The index points into knownProxies, whose nodes never move.
        worker.knownProxies.push_back(proxy);
        worker.knownIndex.insert(&worker.knownProxies.back());
        worker.pendingProxies.push_back(proxy);
    }
}

bool TakeNext(CWorker& worker, CProxy& out)
{
    std::lock_guard<std::mutex> lock(worker.pendingLock);
    if (worker.pendingProxies.empty())
        return false;
    out = worker.pendingProxies.front();
    worker.pendingProxies.pop_front();
    return true;
}

void TakeResults(CWorker& worker, CProxyList& list)
{
    list.clear();
    std::lock_guard<std::mutex> lock(worker.passedLock);
    list.splice(list.end(), worker.passedProxies);
}

void ResetLists(CWorker& worker)
{
    {
        std::lock_guard<std::mutex> lock(worker.pendingLock);
        worker.knownIndex.clear();
        worker.knownProxies.clear();
        worker.pendingProxies.clear();
    }
    std::lock_guard<std::mutex> lock(worker.passedLock);
    worker.passedProxies.clear();
}

void RunDispatcher(CWorker& worker, void (*dispatcher)(CWorker&))
{
    // Starting and waiting under finishLock: a second caller cannot see the
    // finished flag of an earlier run before this one has cleared it.
    std::unique_lock<std::mutex> lock(worker.finishLock);
    if (!worker.running) {
        worker.running = true;
        worker.finished = false;
        try {
            std::thread(dispatcher, std::ref(worker)).detach();
        } catch (const std::system_error&) {
            worker.finished = true;  // nothing was dispatched
        }
    }
    worker.finishedChange.wait(lock, [&] { return worker.finished.load(); });
    lock.unlock();
    worker.running = false;
}

bool AcquireSlot(CWorker& worker)
{
    std::unique_lock<std::mutex> lock(worker.countLock);
    worker.slotChange.wait(lock, [&] { return worker.activeThreads < worker.maxThreads; });
    if (!worker.running)
        return false;
    ++worker.activeThreads;
    return true;
}

void ReleaseSlot(CWorker& worker)
{
    // Notify while holding the lock: once the dispatcher sees the count drop,
    // the worker may be destroyed, and this thread must not touch it after.
    std::lock_guard<std::mutex> lock(worker.countLock);
    if (worker.activeThreads > 0)
        --worker.activeThreads;
    worker.slotChange.notify_all();
}

void DispatchJobs(CWorker& worker, const std::function<std::function<void()>()>& formJob)
{
    // testCanceled is looked at too, so a cancel that came before this
    // dispatcher set running is not lost.
    while (worker.running && !testCanceled()) {
        std::function<void()> job = formJob();
        if (!job || !AcquireSlot(worker))
            break;
        try {
            std::thread([&worker, job = std::move(job)] {
                job();
                ReleaseSlot(worker);
            }).detach();
        } catch (const std::system_error&) {
            ReleaseSlot(worker);  // the job counts as not passed
        }
    }
    {
        std::unique_lock<std::mutex> lock(worker.countLock);
        worker.slotChange.wait(lock, [&] { return worker.activeThreads == 0; });
    }
    std::lock_guard<std::mutex> lock(worker.finishLock);
    worker.finished = true;
    worker.finishedChange.notify_all();
}
