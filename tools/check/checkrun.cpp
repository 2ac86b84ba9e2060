#include "checkrun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "data/windowmessages.h"
#include "settings/settingtestitem.h"
#include "testing/checkanonymousworker.h"
#include "testing/testflags.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"

namespace {
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnInterrupt(int) { interrupted = true; }

// Counts the proxies the jobs report as done.
class ProgressCounter : public IMessageTarget {
public:
    void PostMessage(int message, long long wParam, long long lParam) override
    {
        if (message == kMsgTestProgress && wParam == 0)
            done += static_cast<int>(lParam);
    }
    std::atomic<int> done{0};
};

void DrawBar(int done, int total, size_t passed, bool canceling)
{
    constexpr int kWidth = 30;
    const int filled = total > 0 ? done * kWidth / total : kWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %3d%% %d/%d tested, %zu passed%s", bar.c_str(), total ? done * 100 / total : 100,
                 done, total, passed, canceling ? ", canceling..." : "");
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
    progressWindow() = &counter;
    testCanceled() = false;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl+C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    std::mutex lock;
    std::condition_variable ended;
    bool runEnded = false;
    std::thread run([&] {
        RunTest(worker, availability ? CheckAnonymousDispatcher : TestSpeedDispatcher, list);
        std::lock_guard<std::mutex> guard(lock);
        runEnded = true;
        ended.notify_all();
    });

    const bool showBar = isatty(STDERR_FILENO);
    bool canceled = false;
    std::unique_lock<std::mutex> guard(lock);
    while (!ended.wait_for(guard, std::chrono::milliseconds(100), [&] { return runEnded; })) {
        if (interrupted && !canceled) {
            canceled = true;
            CancelTest(worker);
        }
        if (showBar) {
            size_t passed;
            {
                std::lock_guard<std::mutex> passedGuard(worker.passedLock);
                passed = worker.passedProxies.size();
            }
            DrawBar(counter.done, total, passed, canceled);
        }
    }
    guard.unlock();
    run.join();
    if (showBar) {
        DrawBar(counter.done, total, list.size(), canceled);
        std::fputc('\n', stderr);
    }
    progressWindow() = nullptr;
    signal(SIGINT, SIG_DFL);
    return !canceled;
}
