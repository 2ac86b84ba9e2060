#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <glib.h>

// The loop of the relay's thread and small owners of what it watches: each
// calls its handler on that thread and may be destroyed with its owner, also
// from inside its own handler.

class FdWatch;

// The relay thread's GLib main context, plus one epoll set through which all
// of the relay's sockets are watched: GLib polls every descriptor it holds
// on every wake-up, which with a thousand connections costs more than the
// data does. The epoll set is one descriptor of the context.
class RelayLoop {
public:
    explicit RelayLoop(GMainContext* context);
    ~RelayLoop();
    RelayLoop(const RelayLoop&) = delete;
    RelayLoop& operator=(const RelayLoop&) = delete;

    GMainContext* Context() const { return context_; }
    // Runs function on the loop's thread at its next wake-up; from any
    // thread. The queue is the code's own, under a mutex, so that the
    // hand-over is visible to ThreadSanitizer (GLib's locks are not).
    void Post(std::function<void()> function);

private:
    friend class FdWatch;
    struct Registration {
        FdWatch* owner;
        int slot;
        int fd = -1;
        unsigned events = 0;  // epoll's, while registered
        bool alive = true;
    };
    struct Source;
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer);
    void DispatchReady();
    void Release(std::unique_ptr<Registration> registration);

    GMainContext* context_;
    int epoll_;
    int wake_;  // eventfd, readable while posted functions wait
    Source* source_;
    gpointer wakeTag_;
    std::mutex postLock_;
    std::vector<std::function<void()>> posted_;
    bool dispatching_ = false;
    // Registrations of watches destroyed during a dispatch, freed after it:
    // events for them may still be in the batch.
    std::vector<std::unique_ptr<Registration>> released_;
};

// Watches a few file descriptors; the handler is called when one of them is
// ready and asks Ready() which.
class FdWatch {
public:
    FdWatch(RelayLoop& loop, std::function<void()> handler);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;

    // Watches fd for events in slot (0 to 2); no events stops watching it,
    // so that a hung-up descriptor does not wake the loop while it waits.
    void Set(int slot, int fd, GIOCondition events);
    // What was reported for slot in this dispatch (none for the other slots).
    GIOCondition Ready(int slot) const;

private:
    friend class RelayLoop;

    RelayLoop& loop_;
    std::function<void()> handler_;
    std::unique_ptr<RelayLoop::Registration> slots_[3];
    int readySlot_ = -1;  // the slot being dispatched, and what was reported for it
    GIOCondition ready_ = GIOCondition(0);
};

// A timer that calls its handler once, ms after Start(); Start() again
// restarts it, Stop() or the destructor cancels it.
class OneShotTimer {
public:
    OneShotTimer(GMainContext* context, std::function<void()> handler);
    ~OneShotTimer();
    OneShotTimer(const OneShotTimer&) = delete;
    OneShotTimer& operator=(const OneShotTimer&) = delete;

    void Start(unsigned ms);
    void Stop();

private:
    static gboolean Fire(gpointer self);

    GMainContext* context_;
    std::function<void()> handler_;
    GSource* source_ = nullptr;
};
