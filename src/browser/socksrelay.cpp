#include "browser/socksrelay.h"

#include <sys/resource.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <gio/gio.h>

#include "browser/relaycore.h"
#include "service/socketowner.h"

struct CSocksRelay::Impl {
    std::mutex lifecycle;  // Start and Stop
    RelayShared shared;
    std::atomic<int> port{0};
    std::thread thread;
    // Made once: SetUpstreams may post to the loop whether or not the relay runs.
    GMainContext* context = g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    std::unique_ptr<RelayLoop> relayLoop = std::make_unique<RelayLoop>(context);
    std::unique_ptr<RelayCore> core;  // while running

    ~Impl()
    {
        relayLoop.reset();
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
};

CSocksRelay::CSocksRelay() : impl_(std::make_unique<Impl>())
{
    impl_->shared.ownerLookup = [](const LocalConnection& connection) { return ClientSocketOwner(connection); };
}

CSocksRelay::~CSocksRelay()
{
    Stop();
}

bool CSocksRelay::Start(int port, std::string& problem)
{
    std::lock_guard<std::mutex> lifecycle(impl_->lifecycle);
    if (impl_->thread.joinable()) {
        problem = "The relay is already running.";
        return false;
    }
    // Every relayed connection holds two descriptors: the process may have
    // as many as the system lets it.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    GSocketListener* listener = g_socket_listener_new();
    g_socket_listener_set_backlog(listener, 1024);
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    GSocketAddress* effective = nullptr;
    GError* error = nullptr;
    const bool listening = g_socket_listener_add_address(listener, address, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP,
                                                         nullptr, &effective, &error);
    g_object_unref(address);
    g_object_unref(loopback);
    if (!listening) {
        problem = "Cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + error->message;
        g_error_free(error);
        g_object_unref(listener);
        return false;
    }
    const int actualPort = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(effective));
    g_object_unref(effective);

    OwnerLookup lookup;
    {
        std::lock_guard<std::mutex> guard(impl_->shared.lock);
        lookup = impl_->shared.ownerLookup;
        impl_->shared.current = impl_->shared.upstreams.empty() ? CProxy() : impl_->shared.upstreams.front();
    }
    impl_->core =
        std::make_unique<RelayCore>(impl_->shared, *impl_->relayLoop, listener, actualPort, std::move(lookup));
    impl_->port = actualPort;
    impl_->thread = std::thread([impl = impl_.get()] { impl->core->Run(impl->loop); });
    return true;
}

void CSocksRelay::Stop()
{
    std::lock_guard<std::mutex> lifecycle(impl_->lifecycle);
    if (!impl_->thread.joinable())
        return;
    GMainLoop* loop = impl_->loop;
    impl_->relayLoop->Post([loop] { g_main_loop_quit(loop); });
    impl_->thread.join();
    impl_->core.reset();
    impl_->port = 0;
}

bool CSocksRelay::Running() const
{
    return impl_->port != 0;
}

int CSocksRelay::Port() const
{
    return impl_->port;
}

void CSocksRelay::SetUpstreams(const std::vector<CProxy>& proxies)
{
    {
        std::lock_guard<std::mutex> guard(impl_->shared.lock);
        impl_->shared.upstreams = proxies;
        impl_->shared.current = proxies.empty() ? CProxy() : proxies.front();
    }
    // Runs only inside the relay's loop, where the core exists.
    Impl* impl = impl_.get();
    impl_->relayLoop->Post([impl] { impl->core->ApplyUpstreams(); });
}

CProxy CSocksRelay::Current() const
{
    std::lock_guard<std::mutex> guard(impl_->shared.lock);
    return impl_->shared.current;
}

void CSocksRelay::SetEventHandler(EventHandler handler)
{
    std::lock_guard<std::mutex> guard(impl_->shared.lock);
    impl_->shared.handler = std::move(handler);
}

void CSocksRelay::SetOwnerLookup(OwnerLookup lookup)
{
    std::lock_guard<std::mutex> guard(impl_->shared.lock);
    impl_->shared.ownerLookup = std::move(lookup);
}
