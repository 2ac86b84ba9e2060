// The least a libcurl availability check can do, as a reference for
// bench_wide: every proxy of the list fetched once through SOCKS4, all at
// once, on one multi handle driven through epoll, with the transfer options
// the test engine uses and nothing else (no jobs, no verdicts, no output
// formats). Prints each proxy whose fetch completed.
//
//   bare_curl_check URL TIMEOUT_SECONDS LIST_FILE   (LIST_FILE: ip:port lines)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/epoll.h>
#include <unistd.h>
#include <vector>

#include <curl/curl.h>

namespace {
int epollFd = -1;
long timerMs = -1;
CURLM* multi = nullptr;

int OnSocket(CURL*, curl_socket_t socket, int what, void*, void* known)
{
    if (what == CURL_POLL_REMOVE) {
        epoll_ctl(epollFd, EPOLL_CTL_DEL, socket, nullptr);
        return 0;
    }
    epoll_event event = {};
    event.events = (what & CURL_POLL_IN ? EPOLLIN : 0u) | (what & CURL_POLL_OUT ? EPOLLOUT : 0u);
    event.data.fd = socket;
    if (known) {
        epoll_ctl(epollFd, EPOLL_CTL_MOD, socket, &event);
    } else {
        epoll_ctl(epollFd, EPOLL_CTL_ADD, socket, &event);
        curl_multi_assign(multi, socket, &epollFd);  // marks the socket as added
    }
    return 0;
}

int OnTimer(CURLM*, long ms, void*)
{
    timerMs = ms;
    return 0;
}

size_t Discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bare_curl_check URL TIMEOUT_SECONDS LIST_FILE\n");
        return 2;
    }
    const std::string url = argv[1];
    const long timeoutMs = std::atol(argv[2]) * 1000L;
    curl_global_init(CURL_GLOBAL_ALL);
    epollFd = epoll_create1(EPOLL_CLOEXEC);
    multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, OnSocket);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, OnTimer);

    std::vector<std::string> proxies;
    std::ifstream list(argv[3]);
    for (std::string line; std::getline(list, line);) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        proxies.push_back(line);
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXY, line.substr(0, colon).c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPORT, std::atol(line.c_str() + colon + 1));
        curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_SOCKS4));
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_DNS_CACHE_TIMEOUT, -1L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 4096L);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, reinterpret_cast<void*>(proxies.size() - 1));
        curl_multi_add_handle(multi, easy);
    }

    int running = 0;
    curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
    epoll_event events[256];
    while (running > 0) {
        const int ready = epoll_wait(epollFd, events, 256, timerMs < 0 ? 1000 : static_cast<int>(timerMs));
        if (ready == 0)
            curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
        for (int i = 0; i < ready; ++i)
            curl_multi_socket_action(multi, events[i].data.fd,
                                     (events[i].events & EPOLLIN ? CURL_CSELECT_IN : 0)
                                         | (events[i].events & EPOLLOUT ? CURL_CSELECT_OUT : 0),
                                     &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            void* index = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &index);
            if (message->data.result == CURLE_OK)
                std::printf("%s\n", proxies[reinterpret_cast<size_t>(index)].c_str());
            CURL* easy = message->easy_handle;
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
        }
    }
    curl_multi_cleanup(multi);
    close(epollFd);
    curl_global_cleanup();
    return 0;
}
