#include "checkrun.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

#include "settings/setting.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnInterrupt(int)
{
    interrupted = true;
}

// Counts the proxies the jobs report as done.
class ProgressCounter : public ITestProgressListener {
public:
    void OnProgress(int count) override { done += count; }
    void OnComplete() override {}
    std::atomic<int> done{0};
};

std::string Duration(double seconds)
{
    const long whole = std::lround(seconds);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// One progress line: done/total, passed so far, the rate and the time left.
void DrawProgress(int done, int total, size_t passed, double elapsedSeconds, bool canceling)
{
    constexpr int kWidth = 24;
    const int filled = total > 0 ? static_cast<int>(static_cast<long long>(done) * kWidth / total) : kWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    const double rate = elapsedSeconds > 0 ? done / elapsedSeconds : 0;
    const std::string left = done >= total ? "0:00" : rate > 0 ? Duration((total - done) / rate) : "?";
    std::fprintf(stderr, "\r[%s] %d/%d tested, %zu passed, %.1f/s, %s left%s\x1b[K", bar.c_str(), done, total, passed,
                 rate, left.c_str(), canceling ? ", canceling..." : "");
    std::fflush(stderr);
}
}  // namespace

bool RunCheck(CProxyList& list, const CSettingTestItem& settings, bool availability)
{
    std::unique_ptr<CWorker> ownWorker;
    if (availability)
        ownWorker = std::make_unique<CCheckAnonymousWorker>(settings.threadCount, &settings);
    else
        ownWorker = std::make_unique<CTestSpeedWorker>(settings.threadCount, &settings);
    CWorker& worker = *ownWorker;
    const int total = static_cast<int>(list.size());

    ProgressCounter counter;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl+C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    std::mutex lock;
    std::condition_variable ended;
    bool runEnded = false;
    std::thread run([&] {
        RunTest(worker, list, &counter);
        std::lock_guard<std::mutex> guard(lock);
        runEnded = true;
        ended.notify_all();
    });

    const bool showBar = isatty(STDERR_FILENO);
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool canceled = false;
    std::unique_lock<std::mutex> guard(lock);
    while (!ended.wait_for(guard, std::chrono::milliseconds(100), [&] { return runEnded; })) {
        if (interrupted && !canceled) {
            canceled = true;
            worker.Cancel();
        }
        if (showBar) {
            DrawProgress(counter.done, total, worker.PassedCount(), elapsed(), canceled);
        }
    }
    guard.unlock();
    run.join();
    if (showBar) {
        DrawProgress(counter.done, total, list.size(), elapsed(), canceled);
        std::fputc('\n', stderr);
    }
    signal(SIGINT, SIG_DFL);
    return !canceled;
}
