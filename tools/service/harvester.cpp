#include "harvester.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "harvestcheck.h"
#include "servedlist.h"
#include "service/curlglobal.h"
#include "settings/setting.h"
#include "testing/checkanonymousworker.h"

namespace {
// How often the proxies that passed meanwhile are served during a round.
constexpr auto kPublishEvery = std::chrono::milliseconds(250);

void LogSource(const SourceResult& source)
{
    if (source.ok)
        std::fprintf(stderr, "velmora-service: harvest: %s: %zu proxies%s, %d lines skipped\n", source.source.c_str(),
                     source.proxies.size(), source.capped ? " (capped: the rest was not read)" : "",
                     source.skippedLines);
    else
        std::fprintf(stderr, "velmora-service: harvest: %s: failed: %s\n", source.source.c_str(), source.error.c_str());
}
}  // namespace

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
            if (!WaitForNextRound())
                break;
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

void Harvester::PublishLocked()
{
    current_ = roundPassed_;
    if (!replaced_) {
        std::unordered_set<std::string> fresh;
        for (const CProxy& proxy : roundPassed_)
            fresh.insert(ProxyIdentity(proxy));
        for (const CProxy& proxy : previous_)
            if (!fresh.count(ProxyIdentity(proxy)))
                current_.push_back(proxy);
    }
    served_.Publish(current_);
}

bool Harvester::Collect(const std::vector<std::string>& sources, std::vector<std::string>& failed)
{
    CSettingTestItem test;
    test.testType = TestType::Availability;
    test.threadCount = settings_.threads;
    test.timeoutSeconds = settings_.timeoutSeconds;
    test.testUrl = settings_.testUrl;
    test.correctValue = settings_.expect;
    HarvestCheck worker(settings_.threads * kAvailabilityBatchSize, &test, settings_.connectTimeoutSeconds * 1000L);
    worker.OpenIntake();
    EnsureCurlGlobalInit();  // before the threads below make handles
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return false;
        activeWorker_ = &worker;
    }
    bool fed = false, tested = !settings_.verify;
    // Redirects go only where the harvest keeps proxies.
    SourceLimits limits = settings_.limits;
    limits.redirectsToReserved = settings_.allowPrivate;
    std::thread feeder([&] {
        FetchSources(
            sources, limits,
            [&](size_t, SourceResult& source) {
                LogSource(source);
                CProxyList fresh;
                {
                    std::lock_guard<std::mutex> guard(lock_);
                    fresh = merge_->Add(source);
                    if (!source.ok)
                        failed.push_back(source.source);
                }
                source.proxies.clear();
                if (settings_.verify)
                    worker.AddProxies(fresh);
                else
                    for (const CProxy& proxy : fresh)
                        worker.AddPassed(proxy);
            },
            &stopping_);
        worker.CloseIntake();
        std::lock_guard<std::mutex> guard(lock_);
        fed = true;
        wake_.notify_all();
    });
    std::thread dispatcher;
    if (settings_.verify) {
        dispatcher = std::thread([&] {
            worker.RunDispatcher();
            std::lock_guard<std::mutex> guard(lock_);
            tested = true;
            wake_.notify_all();
        });
    }
    // Serves what passed, a few times a second, until the sources and the
    // tests are done.
    for (bool done = false; !done;) {
        std::unique_lock<std::mutex> guard(lock_);
        done = wake_.wait_for(guard, kPublishEvery, [&] { return fed && tested; });
        CProxyList passed;
        worker.TakeResults(passed);
        if (!passed.empty()) {
            roundPassed_.splice(roundPassed_.end(), passed);
            PublishLocked();
        }
    }
    feeder.join();
    if (dispatcher.joinable())
        dispatcher.join();
    std::lock_guard<std::mutex> guard(lock_);
    activeWorker_ = nullptr;
    return !stopping_;
}

int Harvester::RunRound()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        busy_ = true;
        previous_ = current_;
        roundPassed_.clear();
        replaced_ = false;
        retries_.clear();
        merge_ = std::make_unique<HarvestMerge>(settings_.allowPrivate, countries_, settings_.maxProxiesPerRound);
    }
    std::vector<std::string> failed;
    const bool finished = Collect(settings_.sources, failed);

    std::lock_guard<std::mutex> guard(lock_);
    busy_ = false;
    if (!finished)
        return -1;
    const HarvestCounts counts = merge_->Counts();
    std::fprintf(stderr,
                 "velmora-service: harvest: %d proxies from %d of %d sources (%d lines skipped, %d duplicates, "
                 "%d reserved addresses dropped, %d sources capped, %d over the round's cap); %zu passed\n",
                 counts.harvested, counts.sources - counts.failedSources, counts.sources, counts.skippedLines,
                 counts.duplicates, counts.reserved, counts.cappedSources, counts.overRoundCap, roundPassed_.size());
    ++rounds_;
    lastCounts_ = counts;
    const auto now = Clock::now();
    const int firstDelay = std::min(settings_.retrySeconds, settings_.intervalSeconds);
    for (const std::string& source : failed)
        retries_.push_back({source, now + std::chrono::seconds(firstDelay), firstDelay});
    if (counts.sources > 0 && counts.failedSources == counts.sources) {
        std::fprintf(stderr, "velmora-service: harvest: every source failed; the served list stays\n");
        return -1;
    }
    replaced_ = true;
    PublishLocked();
    return static_cast<int>(current_.size());
}

bool Harvester::WaitForNextRound()
{
    const auto roundDue = Clock::now() + std::chrono::seconds(settings_.intervalSeconds);
    for (;;) {
        std::vector<Retry> due;
        {
            std::unique_lock<std::mutex> guard(lock_);
            auto until = roundDue;
            for (const Retry& retry : retries_)
                until = std::min(until, retry.due);
            wake_.wait_until(guard, until, [this] { return stopping_.load(); });
            if (stopping_)
                return false;
            const auto now = Clock::now();
            if (now >= roundDue)
                return true;
            const auto firstLater = std::partition(retries_.begin(), retries_.end(),
                                                   [now](const Retry& retry) { return retry.due <= now; });
            due.assign(retries_.begin(), firstLater);
            retries_.erase(retries_.begin(), firstLater);
        }
        if (due.empty())
            continue;
        std::vector<std::string> sources, failed;
        for (const Retry& retry : due)
            sources.push_back(retry.source);
        std::fprintf(stderr, "velmora-service: harvest: fetching %zu failed sources again\n", sources.size());
        if (!Collect(sources, failed))
            return false;
        std::lock_guard<std::mutex> guard(lock_);
        const auto now = Clock::now();
        for (const Retry& retry : due) {
            if (std::find(failed.begin(), failed.end(), retry.source) == failed.end())
                continue;
            const int delay = std::min(retry.delaySeconds * 2, settings_.intervalSeconds);
            retries_.push_back({retry.source, now + std::chrono::seconds(delay), delay});
        }
    }
}

std::string Harvester::Status() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::string("state: ") + (busy_ ? "harvesting" : "waiting") + "\nrounds: " + std::to_string(rounds_)
           + "\nserved: " + std::to_string(served_.Count()) + "\npassed: " + std::to_string(roundPassed_.size())
           + "\nretrying: " + std::to_string(retries_.size()) + "\nsources: " + std::to_string(lastCounts_.sources)
           + "\nfailed-sources: " + std::to_string(lastCounts_.failedSources) + "\nharvested: "
           + std::to_string(lastCounts_.harvested) + "\nreserved: " + std::to_string(lastCounts_.reserved)
           + "\nskipped-lines: " + std::to_string(lastCounts_.skippedLines)
           + "\nconfigured-sources: " + std::to_string(settings_.sources.size())
           + "\nfound: " + std::to_string(busy_ && merge_ ? merge_->Counts().harvested : 0) + "\n";
}
