#include "browser/relaysources.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

struct RelayLoop::Source {
    GSource base;
    RelayLoop* loop;
};

namespace {
unsigned ToEpoll(GIOCondition events)
{
    return (events & G_IO_IN ? EPOLLIN : 0u) | (events & G_IO_OUT ? EPOLLOUT : 0u);
}

GIOCondition FromEpoll(unsigned events)
{
    return GIOCondition((events & EPOLLIN ? G_IO_IN : 0) | (events & EPOLLOUT ? G_IO_OUT : 0)
                        | (events & EPOLLHUP ? G_IO_HUP : 0) | (events & EPOLLERR ? G_IO_ERR : 0));
}
}  // namespace

RelayLoop::RelayLoop(GMainContext* context)
    : context_(context), epoll_(epoll_create1(EPOLL_CLOEXEC)), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    // No prepare or check: GLib polls the epoll descriptor added below.
    static GSourceFuncs funcs = {nullptr, nullptr, &RelayLoop::Dispatch, nullptr, nullptr, nullptr};
    source_ = reinterpret_cast<Source*>(g_source_new(&funcs, sizeof(Source)));
    source_->loop = this;
    g_source_add_unix_fd(&source_->base, epoll_, G_IO_IN);
    wakeTag_ = g_source_add_unix_fd(&source_->base, wake_, G_IO_IN);
    g_source_attach(&source_->base, context_);
}

RelayLoop::~RelayLoop()
{
    g_source_destroy(&source_->base);
    g_source_unref(&source_->base);
    close(epoll_);
    close(wake_);
}

void RelayLoop::Post(std::function<void()> function)
{
    {
        std::lock_guard<std::mutex> guard(postLock_);
        posted_.push_back(std::move(function));
    }
    const uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
}

gboolean RelayLoop::Dispatch(GSource* source, GSourceFunc, gpointer)
{
    reinterpret_cast<Source*>(source)->loop->DispatchReady();
    return G_SOURCE_CONTINUE;
}

void RelayLoop::DispatchReady()
{
    // Posted functions first: a change of the proxy list reaches every
    // connection accepted after it.
    if (g_source_query_unix_fd(&source_->base, wakeTag_)) {
        uint64_t count;
        (void)!read(wake_, &count, sizeof count);
        std::vector<std::function<void()>> posted;
        {
            std::lock_guard<std::mutex> guard(postLock_);
            posted.swap(posted_);
        }
        for (auto& function : posted)
            function();
    }
    epoll_event ready[256];
    const int count = epoll_wait(epoll_, ready, 256, 0);
    dispatching_ = true;
    for (int i = 0; i < count; ++i) {
        auto* registration = static_cast<Registration*>(ready[i].data.ptr);
        // Skips watches destroyed, and events no longer asked for, earlier in this batch.
        const unsigned wanted = registration->events | EPOLLHUP | EPOLLERR;
        if (!registration->alive || registration->fd < 0 || !(ready[i].events & wanted))
            continue;
        FdWatch* watch = registration->owner;
        watch->readySlot_ = registration->slot;
        watch->ready_ = FromEpoll(ready[i].events & wanted);
        watch->handler_();  // may destroy the watch
        if (registration->alive)
            watch->readySlot_ = -1;
    }
    dispatching_ = false;
    released_.clear();
}

void RelayLoop::Release(std::unique_ptr<Registration> registration)
{
    registration->alive = false;
    if (dispatching_)
        released_.push_back(std::move(registration));
}

FdWatch::FdWatch(RelayLoop& loop, std::function<void()> handler) : loop_(loop), handler_(std::move(handler)) {}

FdWatch::~FdWatch()
{
    for (int slot = 0; slot < 3; ++slot) {
        Set(slot, -1, GIOCondition(0));
        if (slots_[slot])
            loop_.Release(std::move(slots_[slot]));
    }
}

void FdWatch::Set(int slot, int fd, GIOCondition events)
{
    if (!slots_[slot]) {
        if (events == 0)
            return;
        slots_[slot] = std::make_unique<RelayLoop::Registration>();
        slots_[slot]->owner = this;
        slots_[slot]->slot = slot;
    }
    RelayLoop::Registration& registration = *slots_[slot];
    if (registration.fd >= 0 && (events == 0 || fd != registration.fd)) {
        epoll_ctl(loop_.epoll_, EPOLL_CTL_DEL, registration.fd, nullptr);
        registration.fd = -1;
        registration.events = 0;
    }
    if (events == 0)
        return;
    epoll_event event{};
    event.events = ToEpoll(events);
    event.data.ptr = &registration;
    if (registration.fd == fd) {
        if (event.events != registration.events)
            epoll_ctl(loop_.epoll_, EPOLL_CTL_MOD, fd, &event);
    } else if (epoll_ctl(loop_.epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
        return;
    }
    registration.fd = fd;
    registration.events = event.events;
}

GIOCondition FdWatch::Ready(int slot) const
{
    return slot == readySlot_ ? ready_ : GIOCondition(0);
}

OneShotTimer::OneShotTimer(GMainContext* context, std::function<void()> handler)
    : context_(context), handler_(std::move(handler))
{}

OneShotTimer::~OneShotTimer()
{
    Stop();
}

void OneShotTimer::Start(unsigned ms)
{
    Stop();
    source_ = g_timeout_source_new(ms);
    g_source_set_callback(source_, &OneShotTimer::Fire, this, nullptr);
    g_source_attach(source_, context_);
}

void OneShotTimer::Stop()
{
    if (!source_)
        return;
    g_source_destroy(source_);
    g_source_unref(source_);
    source_ = nullptr;
}

gboolean OneShotTimer::Fire(gpointer self)
{
    auto* timer = static_cast<OneShotTimer*>(self);
    g_source_unref(timer->source_);  // the loop keeps its own reference until this returns
    timer->source_ = nullptr;
    timer->handler_();  // may destroy the timer
    return G_SOURCE_REMOVE;
}
