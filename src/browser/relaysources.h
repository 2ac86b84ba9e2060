#pragma once

#include <functional>

#include <glib.h>

// Small owners of GLib sources for the relay's thread: each is attached to
// the given main context, calls its handler there, and is destroyed with its
// owner (also from inside its own handler).

// Watches a few file descriptors with one source; the handler is called
// when any of them is ready and asks Ready() which.
class FdWatch {
public:
    FdWatch(GMainContext* context, std::function<void()> handler);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;

    // Watches fd for events in slot (0 to 2); no events stops watching it,
    // so that a hung-up descriptor does not wake the loop while it waits.
    void Set(int slot, int fd, GIOCondition events);
    // What poll reported for slot in this dispatch (none when not watched).
    GIOCondition Ready(int slot) const;

private:
    struct Source;
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer);

    Source* source_;
    std::function<void()> handler_;
    gpointer tags_[3] = {};
    int fds_[3] = {-1, -1, -1};
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

// Runs function once on context's thread, at its next iteration.
void PostToContext(GMainContext* context, std::function<void()> function);
