#include "harvester.h"

#include <chrono>
#include <cstdio>

#include "servedlist.h"
#include "settings/setting.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"

Harvester::Harvester(HarvestSettings settings, const CountryLookup& countries, ServedList& served)
    : settings_(std::move(settings)), countries_(countries), served_(served)
{}

Harvester::~Harvester()
{
    Stop();
}

void Harvester::Start()
{
    thread_ = std::thread([this] {
        while (!stopping_) {
            RunRound();
            std::unique_lock<std::mutex> guard(lock_);
            wake_.wait_for(guard, std::chrono::seconds(settings_.intervalSeconds), [this] { return stopping_.load(); });
        }
    });
}

void Harvester::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        if (activeWorker_)
            activeWorker_->Cancel();
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool Harvester::Verify(CProxyList& list)
{
    CSettingTestItem test;
    test.testType = TestType::Availability;
    test.threadCount = settings_.threads;
    test.timeoutSeconds = settings_.timeoutSeconds;
    test.testUrl = settings_.testUrl;
    test.correctValue = settings_.expect;
    CCheckAnonymousWorker worker(settings_.threads, &test);
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return false;
        activeWorker_ = &worker;
    }
    RunTest(worker, list, nullptr);
    std::lock_guard<std::mutex> guard(lock_);
    activeWorker_ = nullptr;
    return !stopping_;
}

int Harvester::RunRound()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        busy_ = true;
    }
    // Redirects go only where the harvest keeps proxies.
    SourceLimits limits = settings_.limits;
    limits.redirectsToReserved = settings_.allowPrivate;
    const std::vector<SourceText> fetched = FetchSources(settings_.sources, limits, &stopping_);
    for (const SourceText& source : fetched) {
        if (source.ok)
            std::fprintf(stderr, "velmora-service: harvest: %s: %zu bytes\n", source.source.c_str(),
                         source.text.size());
        else
            std::fprintf(stderr, "velmora-service: harvest: %s: failed: %s\n", source.source.c_str(),
                         source.error.c_str());
    }
    HarvestCounts counts;
    CProxyList proxies = MergeSources(fetched, settings_.allowPrivate, countries_, counts);
    std::fprintf(stderr,
                 "velmora-service: harvest: %d proxies from %d of %d sources (%d lines skipped, %d duplicates, "
                 "%d reserved addresses dropped)\n",
                 counts.harvested, counts.sources - counts.failedSources, counts.sources, counts.skippedLines,
                 counts.duplicates, counts.reserved);
    const bool allFailed = counts.sources > 0 && counts.failedSources == counts.sources;
    bool publish = !stopping_ && !allFailed;
    if (publish && settings_.verify) {
        publish = Verify(proxies);
        if (publish)
            std::fprintf(stderr, "velmora-service: harvest: %zu of %d proxies passed the availability check\n",
                         proxies.size(), counts.harvested);
    }
    if (allFailed)
        std::fprintf(stderr, "velmora-service: harvest: every source failed; the served list stays\n");
    if (publish)
        served_.Publish(proxies);

    std::lock_guard<std::mutex> guard(lock_);
    busy_ = false;
    if (stopping_)
        return -1;
    ++rounds_;
    lastCounts_ = counts;
    if (publish)
        lastPassed_ = static_cast<int>(proxies.size());
    return publish ? lastPassed_ : -1;
}

std::string Harvester::Status() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::string("state: ") + (busy_ ? "harvesting" : "waiting") + "\nrounds: " + std::to_string(rounds_)
           + "\nserved: " + std::to_string(served_.Count()) + "\nsources: " + std::to_string(lastCounts_.sources)
           + "\nfailed-sources: " + std::to_string(lastCounts_.failedSources) + "\nharvested: "
           + std::to_string(lastCounts_.harvested) + "\npassed: " + std::to_string(lastPassed_) + "\n";
}
