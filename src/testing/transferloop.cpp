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

CTransferLoop::CTransferLoop()
    : multi((EnsureCurlGlobalInit(), curl_multi_init())), epollFd(epoll_create1(EPOLL_CLOEXEC)),
      wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (multi) {
        curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, OnSocket);
        curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, OnTimer);
        curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    }
    if (epollFd >= 0 && wakeFd >= 0) {
        epoll_event event = {};
        event.events = EPOLLIN;
        event.data.fd = wakeFd;
        epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &event);
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
    if (multi)
        curl_multi_cleanup(multi);
    if (epollFd >= 0)
        close(epollFd);
    if (wakeFd >= 0)
        close(wakeFd);
}

void CTransferLoop::Add(CTestFetch& fetch)
{
    if (!Ready() || !fetch.handle)
        return;
    curl_easy_setopt(fetch.handle, CURLOPT_PRIVATE, &fetch);
    if (curl_multi_add_handle(multi, fetch.handle) == CURLM_OK)
        fetch.loop = this;
}

void CTransferLoop::Remove(CTestFetch& fetch)
{
    if (fetch.loop != this)
        return;
    curl_multi_remove_handle(multi, fetch.handle);
    fetch.loop = nullptr;
}

int CTransferLoop::OnSocket(CURL*, curl_socket_t socket, int what, void* loopData, void* socketData)
{
    auto* loop = static_cast<CTransferLoop*>(loopData);
    if (what == CURL_POLL_REMOVE) {
        // The socket may be closed already; then the kernel dropped it from the set.
        epoll_ctl(loop->epollFd, EPOLL_CTL_DEL, socket, nullptr);
        curl_multi_assign(loop->multi, socket, nullptr);
        return 0;
    }
    epoll_event event = {};
    event.events = EpollEvents(what);
    event.data.fd = socket;
    // socketData marks a socket already in the epoll set.
    if (socketData) {
        epoll_ctl(loop->epollFd, EPOLL_CTL_MOD, socket, &event);
    } else if (epoll_ctl(loop->epollFd, EPOLL_CTL_ADD, socket, &event) == 0
               || (errno == EEXIST && epoll_ctl(loop->epollFd, EPOLL_CTL_MOD, socket, &event) == 0)) {
        curl_multi_assign(loop->multi, socket, loop);
    }
    return 0;
}

int CTransferLoop::OnTimer(CURLM*, long timeoutMs, void* loopData)
{
    auto* loop = static_cast<CTransferLoop*>(loopData);
    loop->timerSet = timeoutMs >= 0;
    if (loop->timerSet)
        loop->timerDue = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void CTransferLoop::Act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(multi, socket, events, &running);
}

void CTransferLoop::Wait(Clock::time_point until, const std::function<void(CTestFetch&)>& ended)
{
    if (!Ready())
        return;
    if (timerSet)
        until = std::min(until, timerDue);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    const int waitMs = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
    epoll_event events[kEventsPerWait];
    const int ready = epoll_wait(epollFd, events, kEventsPerWait, waitMs);
    for (int i = 0; i < ready; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wakeFd) {
            uint64_t count;
            (void)!read(wakeFd, &count, sizeof count);
            continue;
        }
        const uint32_t got = events[i].events;
        Act(fd, ((got & (EPOLLIN | EPOLLHUP)) ? CURL_CSELECT_IN : 0) | ((got & EPOLLOUT) ? CURL_CSELECT_OUT : 0)
                    | ((got & EPOLLERR) ? CURL_CSELECT_ERR : 0));
    }
    if (timerSet && Clock::now() >= timerDue) {
        timerSet = false;
        Act(CURL_SOCKET_TIMEOUT, 0);
    }
    CollectEnded(ended);
}

void CTransferLoop::CollectEnded(const std::function<void(CTestFetch&)>& ended)
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
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
    if (wakeFd >= 0)
        (void)!write(wakeFd, &one, sizeof one);
}

void WakeTransfers()
{
    std::lock_guard<std::mutex> lock(loopsLock);
    for (CTransferLoop* loop : Loops())
        loop->Wake();
}
