#include "testing/transferloop.h"

#include <algorithm>
#include <mutex>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_set>

#include "service/curlglobal.h"
#include "testing/transfers.h"

namespace {
constexpr int kEventsPerWait = 256;
constexpr uint64_t kWakeTag = ~uint64_t(0);

// Every loop that exists, so that a cancel can wake them.
std::mutex loopsLock;
std::unordered_set<CTransferLoop*>& Loops()
{
    static std::unordered_set<CTransferLoop*> loops;
    return loops;
}

uint32_t EpollEvents(int what)
{
    return (what == CURL_POLL_IN || what == CURL_POLL_INOUT ? EPOLLIN : 0u)
           | (what == CURL_POLL_OUT || what == CURL_POLL_INOUT ? EPOLLOUT : 0u);
}
}  // namespace

CTransferLoop::CTransferLoop() : epollFd_(epoll_create1(EPOLL_CLOEXEC)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    EnsureCurlGlobalInit();
    for (uint32_t i = 0; i < kShards; ++i) {
        Shard& shard = shards_[i];
        shard.loop = this;
        shard.index = i;
        shard.multi = curl_multi_init();
        if (!shard.multi)
            continue;
        curl_multi_setopt(shard.multi, CURLMOPT_SOCKETFUNCTION, OnSocket);
        curl_multi_setopt(shard.multi, CURLMOPT_SOCKETDATA, &shard);
        curl_multi_setopt(shard.multi, CURLMOPT_TIMERFUNCTION, OnTimer);
        curl_multi_setopt(shard.multi, CURLMOPT_TIMERDATA, &shard);
    }
    if (epollFd_ >= 0 && wakeFd_ >= 0) {
        epoll_event event = {};
        event.events = EPOLLIN;
        event.data.u64 = kWakeTag;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &event);
    }
    std::lock_guard<std::mutex> lock(loopsLock);
    Loops().insert(this);
}

CTransferLoop::~CTransferLoop()
{
    {
        std::lock_guard<std::mutex> lock(loopsLock);
        Loops().erase(this);
    }
    for (Shard& shard : shards_)
        if (shard.multi)
            curl_multi_cleanup(shard.multi);
    if (epollFd_ >= 0)
        close(epollFd_);
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

bool CTransferLoop::Ready() const
{
    return epollFd_ >= 0 && wakeFd_ >= 0
           && std::all_of(std::begin(shards_), std::end(shards_), [](const Shard& shard) { return shard.multi; });
}

void CTransferLoop::Add(CTestFetch& fetch)
{
    if (!Ready() || !fetch.handle)
        return;
    CURLM* multi = shards_[nextShard_++ % kShards].multi;
    curl_easy_setopt(fetch.handle, CURLOPT_PRIVATE, &fetch);
    if (curl_multi_add_handle(multi, fetch.handle) == CURLM_OK) {
        fetch.loop = this;
        fetch.multi = multi;
    }
}

void CTransferLoop::Remove(CTestFetch& fetch)
{
    if (fetch.loop != this)
        return;
    curl_multi_remove_handle(fetch.multi, fetch.handle);
    fetch.loop = nullptr;
    fetch.multi = nullptr;
}

int CTransferLoop::OnSocket(CURL*, curl_socket_t socket, int what, void* shardData, void* socketData)
{
    auto* shard = static_cast<Shard*>(shardData);
    const int epollFd = shard->loop->epollFd_;
    if (what == CURL_POLL_REMOVE) {
        // The socket may be closed already; then the kernel dropped it from the set.
        epoll_ctl(epollFd, EPOLL_CTL_DEL, socket, nullptr);
        curl_multi_assign(shard->multi, socket, nullptr);
        return 0;
    }
    epoll_event event = {};
    event.events = EpollEvents(what);
    event.data.u64 = uint64_t(shard->index) << 32 | static_cast<uint32_t>(socket);
    // socketData marks a socket already in the epoll set.
    if (socketData) {
        epoll_ctl(epollFd, EPOLL_CTL_MOD, socket, &event);
    } else if (epoll_ctl(epollFd, EPOLL_CTL_ADD, socket, &event) == 0
               || (errno == EEXIST && epoll_ctl(epollFd, EPOLL_CTL_MOD, socket, &event) == 0)) {
        curl_multi_assign(shard->multi, socket, shard);
    }
    return 0;
}

int CTransferLoop::OnTimer(CURLM*, long timeoutMs, void* shardData)
{
    auto* shard = static_cast<Shard*>(shardData);
    shard->timerSet = timeoutMs >= 0;
    if (shard->timerSet)
        shard->timerDue = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void CTransferLoop::Wait(Clock::time_point until, const std::function<void(CTestFetch&)>& ended)
{
    if (!Ready())
        return;
    for (const Shard& shard : shards_)
        if (shard.timerSet)
            until = std::min(until, shard.timerDue);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    const int waitMs = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
    epoll_event events[kEventsPerWait];
    const int ready = epoll_wait(epollFd_, events, kEventsPerWait, waitMs);
    int running = 0;
    for (int i = 0; i < ready; ++i) {
        if (events[i].data.u64 == kWakeTag) {
            uint64_t count;
            (void)!read(wakeFd_, &count, sizeof count);
            continue;
        }
        const uint32_t got = events[i].events;
        Shard& shard = shards_[events[i].data.u64 >> 32];
        curl_multi_socket_action(shard.multi, static_cast<curl_socket_t>(events[i].data.u64 & 0xffffffffu),
                                 ((got & (EPOLLIN | EPOLLHUP)) ? CURL_CSELECT_IN : 0)
                                     | ((got & EPOLLOUT) ? CURL_CSELECT_OUT : 0)
                                     | ((got & EPOLLERR) ? CURL_CSELECT_ERR : 0),
                                 &running);
    }
    const auto now = Clock::now();
    for (Shard& shard : shards_) {
        if (shard.timerSet && now >= shard.timerDue) {
            shard.timerSet = false;
            curl_multi_socket_action(shard.multi, CURL_SOCKET_TIMEOUT, 0, &running);
        }
        CollectEnded(shard, ended);
    }
}

void CTransferLoop::CollectEnded(Shard& shard, const std::function<void(CTestFetch&)>& ended)
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(shard.multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        // Copy out of the message before the handle is removed.
        CURL* const easy = message->easy_handle;
        const CURLcode result = message->data.result;
        CTestFetch* fetch = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &fetch);
        if (!fetch || fetch->loop != this)
            continue;
        Remove(*fetch);
        fetch->completed = true;
        fetch->result = result;
        ended(*fetch);
    }
}

void CTransferLoop::Wake()
{
    const uint64_t one = 1;
    if (wakeFd_ >= 0)
        (void)!write(wakeFd_, &one, sizeof one);
}

void WakeTransfers()
{
    std::lock_guard<std::mutex> lock(loopsLock);
    for (CTransferLoop* loop : Loops())
        loop->Wake();
}
