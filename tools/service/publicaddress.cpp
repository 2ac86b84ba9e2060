#include "publicaddress.h"

#include <curl/curl.h>

#include "addressfilter.h"
#include "service/curlglobal.h"
#include "service/postform.h"
#include "service/responsebuffer.h"

namespace {
constexpr auto kKeepFor = std::chrono::minutes(10);

std::string Fetch(const std::string& url)
{
    if (!EnsureCurlGlobalInit())
        return "";
    CURL* easy = curl_easy_init();
    if (!easy)
        return "";
    ResponseBuffer buffer;
    buffer.limit = 4096;  // an address, perhaps in a small page
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, PostFormTuning().connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, PostFormTuning().connectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    const CURLcode code = curl_easy_perform(easy);
    std::string text = code == CURLE_OK && buffer.data ? buffer.data : "";
    curl_easy_cleanup(easy);
    const size_t first = text.find_first_not_of(" \t\r\n");
    const size_t last = text.find_last_not_of(" \t\r\n");
    text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    uint32_t address = 0;
    return ParseIpv4(text, address) ? text : "";
}
}  // namespace

PublicAddress::PublicAddress(std::string url) : url_(std::move(url)) {}

std::string PublicAddress::Get()
{
    if (url_.empty())
        return "";
    std::lock_guard<std::mutex> guard(lock_);
    const auto now = std::chrono::steady_clock::now();
    if (!fetched_ || now - fetchedAt_ > kKeepFor) {
        address_ = Fetch(url_);
        fetchedAt_ = now;
        fetched_ = true;
    }
    return address_;
}
