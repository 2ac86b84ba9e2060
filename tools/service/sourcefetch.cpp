#include "sourcefetch.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "addressfilter.h"
#include "checkinput.h"
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
// Longer lines are no proxy; only this much of one is kept while it comes.
constexpr size_t kMaxLine = 1024;

// Turns a source's bytes into proxies line by line as they arrive.
class LineReader {
public:
    LineReader(SourceResult& result, const SourceLimits& limits) : result_(result), limits_(limits) {}

    // Takes the next bytes; false once no more are wanted: the proxy cap is
    // reached or the source is larger than maxBytes.
    bool Feed(const char* data, size_t size)
    {
        bytes_ += size;
        if (bytes_ > limits_.maxBytes) {
            tooLarge_ = true;
            return false;
        }
        while (size > 0 && !result_.capped) {
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const size_t take = newline ? static_cast<size_t>(newline - data) : size;
            if (line_.size() + take <= kMaxLine)
                line_.append(data, take);
            else
                overlong_ = true;
            if (!newline)
                break;
            EndLine();
            data += take + 1;
            size -= take + 1;
        }
        return !result_.capped;
    }

    // The source has ended: its last line may lack a line end.
    void End()
    {
        if (!line_.empty() || overlong_)
            EndLine();
    }

    bool TooLarge() const { return tooLarge_; }

private:
    void EndLine()
    {
        // A byte order mark from an editor is no part of the first line.
        if (firstLine_ && line_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line_.erase(0, 3);
        firstLine_ = false;
        CProxy proxy;
        const CheckLine kind = overlong_ ? CheckLine::Other : ReadCheckLine(line_, proxy);
        if (kind == CheckLine::Other)
            ++result_.skippedLines;
        else if (kind == CheckLine::Proxy && result_.proxies.size() >= limits_.maxProxies)
            result_.capped = true;
        else if (kind == CheckLine::Proxy)
            result_.proxies.push_back(proxy);
        line_.clear();
        overlong_ = false;
    }

    SourceResult& result_;
    const SourceLimits& limits_;
    std::string line_;  // the line under way, up to kMaxLine bytes
    bool overlong_ = false;
    bool firstLine_ = true;
    bool tooLarge_ = false;
    size_t bytes_ = 0;
};

std::string TooLargeError(const SourceLimits& limits)
{
    return "larger than " + std::to_string(limits.maxBytes) + " bytes";
}

// Only a regular file is read: a FIFO or a device could block or never end.
// O_NONBLOCK keeps even the open of a FIFO without a writer from waiting.
void ReadLocalSource(SourceResult& result, const SourceLimits& limits)
{
    std::string path = result.source;
    if (path.rfind("file://", 0) == 0)
        path.erase(0, 7);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = "cannot read " + path + ": " + std::strerror(errno);
        return;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        result.error = path + " is not a regular file";
        return;
    }
    LineReader reader(result, limits);
    char buffer[64 * 1024];
    bool more = true;
    ssize_t got = 0;
    while (more && ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)))
        more = got < 0 || reader.Feed(buffer, static_cast<size_t>(got));
    const int readError = got < 0 ? errno : 0;
    close(fd);
    if (reader.TooLarge()) {
        result.error = TooLargeError(limits);
    } else if (readError) {
        result.error = "cannot read " + path + ": " + std::strerror(readError);
    } else {
        if (more)
            reader.End();
        result.ok = true;
    }
    if (!result.ok)
        result.proxies.clear();
}

size_t WriteToReader(char* data, size_t size, size_t count, void* reader)
{
    return static_cast<LineReader*>(reader)->Feed(data, size * count) ? size * count : 0;
}

struct Transfer {
    size_t index;
    CURL* easy;
    std::unique_ptr<LineReader> reader;
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

CURL* NewEasy(const std::string& url, const SourceLimits& limits, LineReader& reader)
{
    CURL* easy = curl_easy_init();
    if (!easy)
        return nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteToReader);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reader);
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

void EndTransfer(SourceResult& result, CURLcode code, LineReader& reader, const SourceLimits& limits)
{
    if (reader.TooLarge()) {
        result.error = TooLargeError(limits);
    } else if (code == CURLE_OK || result.capped) {  // a capped source was cut off on purpose
        if (code == CURLE_OK)
            reader.End();
        result.ok = true;
    } else {
        result.error = curl_easy_strerror(code);
    }
    if (!result.ok)
        result.proxies.clear();
}
}  // namespace

void FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits, const SourceDone& done,
                  const std::atomic<bool>* stop)
{
    std::vector<SourceResult> results(sources.size());
    std::vector<bool> reported(sources.size(), false);
    const auto report = [&](size_t index) {
        reported[index] = true;
        done(index, results[index]);
    };
    std::vector<std::unique_ptr<Transfer>> transfers;
    // Local files first: they are read at once, and their proxies can be
    // under test while the network sources still come.
    for (size_t i = 0; i < sources.size(); ++i) {
        results[i].source = sources[i];
        if (!IsUrlSource(sources[i])) {
            ReadLocalSource(results[i], limits);
            report(i);
        }
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!IsUrlSource(sources[i]))
            continue;
        auto transfer = std::make_unique<Transfer>();
        transfer->index = i;
        transfer->reader = std::make_unique<LineReader>(results[i], limits);
        transfer->easy = EnsureCurlGlobalInit() ? NewEasy(sources[i], limits, *transfer->reader) : nullptr;
        if (!transfer->easy) {
            results[i].error = "no transfer handle";
            report(i);
            continue;
        }
        curl_easy_setopt(transfer->easy, CURLOPT_PRIVATE, transfer.get());
        transfer->redirectsToReserved = limits.redirectsToReserved;
        curl_easy_setopt(transfer->easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
        curl_easy_setopt(transfer->easy, CURLOPT_OPENSOCKETDATA, transfer.get());
        transfers.push_back(std::move(transfer));
    }
    if (transfers.empty())
        return;

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
            const CURLcode code = message->data.result;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&transfer));
            SourceResult& result = results[transfer->index];
            EndTransfer(result, code, *transfer->reader, limits);
            if (transfer->refusedRedirect)
                result.error = "redirected to a reserved address";
            report(transfer->index);
        }
        if (running > 0)
            curl_multi_poll(multi, nullptr, 0, 200, nullptr);  // wakes at least 5 times a second to see stop
    }
    for (const auto& transfer : transfers) {
        if (!reported[transfer->index]) {
            SourceResult& result = results[transfer->index];
            result.error = "stopped";
            result.proxies.clear();
            report(transfer->index);
        }
        curl_multi_remove_handle(multi, transfer->easy);
        curl_easy_cleanup(transfer->easy);
    }
    curl_multi_cleanup(multi);
}

std::vector<SourceResult> FetchSources(const std::vector<std::string>& sources, const SourceLimits& limits,
                                       const std::atomic<bool>* stop)
{
    std::vector<SourceResult> results(sources.size());
    FetchSources(
        sources, limits, [&results](size_t index, SourceResult& result) { results[index] = std::move(result); }, stop);
    return results;
}
