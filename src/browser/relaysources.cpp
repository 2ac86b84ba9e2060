#include "browser/relaysources.h"

struct FdWatch::Source {
    GSource base;
    FdWatch* owner;
};

gboolean FdWatch::Dispatch(GSource* source, GSourceFunc, gpointer)
{
    // The handler may destroy the watch (and this source): nothing after it.
    reinterpret_cast<Source*>(source)->owner->handler_();
    return G_SOURCE_CONTINUE;
}

FdWatch::FdWatch(GMainContext* context, std::function<void()> handler) : handler_(std::move(handler))
{
    // No prepare or check: GLib polls the descriptors added with g_source_add_unix_fd.
    static GSourceFuncs funcs = {nullptr, nullptr, &FdWatch::Dispatch, nullptr, nullptr, nullptr};
    source_ = reinterpret_cast<Source*>(g_source_new(&funcs, sizeof(Source)));
    source_->owner = this;
    g_source_attach(&source_->base, context);
}

FdWatch::~FdWatch()
{
    g_source_destroy(&source_->base);
    g_source_unref(&source_->base);
}

void FdWatch::Set(int slot, int fd, GIOCondition events)
{
    if (tags_[slot] && (events == 0 || fd != fds_[slot])) {
        g_source_remove_unix_fd(&source_->base, tags_[slot]);
        tags_[slot] = nullptr;
    }
    fds_[slot] = fd;
    if (events == 0)
        return;
    if (tags_[slot])
        g_source_modify_unix_fd(&source_->base, tags_[slot], events);
    else
        tags_[slot] = g_source_add_unix_fd(&source_->base, fd, events);
}

GIOCondition FdWatch::Ready(int slot) const
{
    return tags_[slot] ? g_source_query_unix_fd(&source_->base, tags_[slot]) : GIOCondition(0);
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

void PostToContext(GMainContext* context, std::function<void()> function)
{
    // Ahead of the sockets' sources: a change of the list reaches every
    // connection accepted after it.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_HIGH);
    g_source_set_callback(
        source,
        [](gpointer data) {
            (*static_cast<std::function<void()>*>(data))();
            return gboolean(G_SOURCE_REMOVE);
        },
        new std::function<void()>(std::move(function)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, context);
    g_source_unref(source);
}
