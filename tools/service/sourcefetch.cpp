#include "sourcefetch.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "addressfilter.h"
#include "service/curlglobal.h"
#include "service/postform.h"
#include "service/responsebuffer.h"

SourceLimits::SourceLimits()
    : maxBytes(ResponseBuffer::kDefaultLimit), connectTimeoutSeconds(PostFormTuning().connectTimeoutSeconds),
      lowSpeedTimeSeconds(PostFormTuning().lowSpeedTimeSeconds), totalTimeoutSeconds(300)
{}

bool IsUrlSource(const std::string& source)
{
    return strncasecmp(source.c_str(), "http://", 7) == 0 || strncasecmp(source.c_str(), "https://", 8) == 0;
}

namespace {
void ReadLocalSource(SourceText& result, size_t maxBytes)
{
    std::string path = result.source;
    if (path.rfind("file://", 0) == 0)
        path.erase(0, 7);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = "cannot read " + path;
        return;
    }
    std::string text(maxBytes + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        result.error = "cannot read " + path;
        return;
    }
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > maxBytes) {
        result.error = "larger than " + std::to_string(maxBytes) + " bytes";
        return;
    }
    result.text = std::move(text);
    result.ok = true;
}

struct Transfer {
    size_t index;
    CURL* easy;
    ResponseBuffer buffer;
    bool redirectsToReserved = false;
    bool refusedRedirect = false;  // a redirect led to a reserved address
};

// Addresses no public list server has: IPv4's reserved ranges, and IPv6's
// unspecified, loopback, link-local, unique local and multicast ones (an
// IPv4-mapped address as its IPv4 address).
bool IsReservedSocketAddress(const sockaddr& address)
{
    if (address.sa_family == AF_INET)
        return IsSpecialPurposeAddress(ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr));
    if (address.sa_family != AF_INET6)
        return true;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        uint32_t v4 = 0;
        std::memcpy(&v4, v6.s6_addr + 12, 4);
        return IsSpecialPurposeAddress(ntohl(v4));
    }
    return IN6_IS_ADDR_UNSPECIFIED(&v6) || IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_LINKLOCAL(&v6)
           || IN6_IS_ADDR_MULTICAST(&v6) || (v6.s6_addr[0] & 0xfe) == 0xfc;
}

// CURLOPT_OPENSOCKETFUNCTION, at every connect: the source's own address is
// the user's choice, but where it redirects to is the list site's, so a
// list could otherwise make the service send requests to this machine or its network.
curl_socket_t OpenSocket(void* data, curlsocktype, curl_sockaddr* address)
{
    auto* transfer = static_cast<Transfer*>(data);
    long redirects = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_REDIRECT_COUNT, &redirects);
    if (redirects > 0 && !transfer->redirectsToReserved && IsReservedSocketAddress(address->addr)) {
        transfer->refusedRedirect = true;
        return CURL_SOCKET_BAD;
    }
    return socket(address->family, address->socktype, address->protocol);
}

CURL* NewEasy(const std::string& url, const SourceLimits& limits, ResponseBuffer& buffer)
{
    CURL* easy = curl_easy_init();
    if (!easy)
        return nullptr;
    buffer.limit = limits.maxBytes;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedTimeSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, limits.totalTimeoutSeconds);
    // Fetch directly: neither http_proxy & co. nor a proxy the user applied.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    // List sites move their files; a redirect may only lead to another web page.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // lists compress well
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "velmora-service/" VELMORA_VERSION);
    return easy;
}

std::string TransferError(CURLcode code, const Transfer& transfer, size_t maxBytes)
{
    if (transfer.refusedRedirect)
        return "redirected to a reserved address";
    const ResponseBuffer& buffer = transfer.buffer;
    if (buffer.overflow)
        return "larger than " + std::to_string(maxBytes) + " bytes";
    return curl_easy_strerror(code);
}
}  // namespace

std::vector<SourceText> FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits,
                                     const std::atomic<bool>* stop)
{
    std::vector<SourceText> results(sources.size());
    std::vector<std::unique_ptr<Transfer>> transfers;
    for (size_t i = 0; i < sources.size(); ++i) {
        results[i].source = sources[i];
        if (!IsUrlSource(sources[i])) {
            ReadLocalSource(results[i], limits.maxBytes);
            continue;
        }
        if (!EnsureCurlGlobalInit()) {
            results[i].error = "libcurl could not be initialised";
            continue;
        }
        auto transfer = std::make_unique<Transfer>();
        transfer->index = i;
        transfer->easy = NewEasy(sources[i], limits, transfer->buffer);
        if (!transfer->easy) {
            results[i].error = "no transfer handle";
            continue;
        }
        curl_easy_setopt(transfer->easy, CURLOPT_PRIVATE, transfer.get());
        transfer->redirectsToReserved = limits.redirectsToReserved;
        curl_easy_setopt(transfer->easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
        curl_easy_setopt(transfer->easy, CURLOPT_OPENSOCKETDATA, transfer.get());
        transfers.push_back(std::move(transfer));
    }
    if (transfers.empty())
        return results;

    CURLM* multi = curl_multi_init();
    for (const auto& transfer : transfers)
        curl_multi_add_handle(multi, transfer->easy);
    int running = 1;
    while (running > 0 && !(stop && *stop)) {
        curl_multi_perform(multi, &running);
        CURLMsg* message;
        int queued = 0;
        while ((message = curl_multi_info_read(multi, &queued))) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL* easy = message->easy_handle;
            const CURLcode code = message->data.result;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&transfer));
            SourceText& result = results[transfer->index];
            if (code == CURLE_OK) {
                result.text.assign(transfer->buffer.data ? transfer->buffer.data : "", transfer->buffer.size);
                result.ok = true;
            } else {
                result.error = TransferError(code, *transfer, limits.maxBytes);
            }
        }
        if (running > 0)
            curl_multi_poll(multi, nullptr, 0, 200, nullptr);  // wakes at least 5 times a second to see stop
    }
    for (const auto& transfer : transfers) {
        SourceText& result = results[transfer->index];
        if (!result.ok && result.error.empty())
            result.error = "stopped";
        curl_multi_remove_handle(multi, transfer->easy);
        curl_easy_cleanup(transfer->easy);
    }
    curl_multi_cleanup(multi);
    return results;
}
