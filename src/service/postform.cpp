#include "service/postform.h"

#include <curl/curl.h>

#include <cstdio>

#include "service/curlglobal.h"
#include "service/responsebuffer.h"
#include "service/socketowner.h"

namespace {

// CURLOPT_PREREQFUNCTION: runs once connected, before the request is sent.
int RefuseOtherUsersService(void* options, char* serverIp, char* clientIp, int serverPort, int clientPort)
{
    if (!IsLoopbackAddress(serverIp))
        return CURL_PREREQFUNC_OK;
    const uid_t expected = static_cast<const PostFormOptions*>(options)->localServiceOwner;
    const std::optional<uid_t> owner = ServerSocketOwner({serverIp, serverPort, clientIp, clientPort});
    if (owner && *owner == expected)
        return CURL_PREREQFUNC_OK;
    if (owner)
        std::fprintf(stderr, "velmora: the service at %s port %d is run by another user (uid %u); not using it\n",
                     serverIp, serverPort, static_cast<unsigned>(*owner));
    else
        std::fprintf(stderr, "velmora: cannot tell who runs the service at %s port %d; not using it\n", serverIp,
                     serverPort);
    return CURL_PREREQFUNC_ABORT;
}

}  // namespace

PostFormOptions& PostFormTuning()
{
    static PostFormOptions options;
    return options;
}

namespace {
// One request to the service: a form POST of *body, or a GET without one.
bool Request(const std::string& url, const std::string* body, std::string& out)
{
    if (!EnsureCurlGlobalInit())
        return false;
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;

    PostFormOptions options = PostFormTuning();
    ResponseBuffer buffer;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    if (body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendToBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    // Safe in a threaded program: no SIGALRM for name resolution timeouts.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // A dead service must not hang the caller forever, but a slow answer that
    // keeps moving still completes.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.lowSpeedTimeSeconds);
    // Talk to the service directly: an empty proxy keeps http_proxy & co.
    // from the environment (and the proxy the user applied) out of these
    // requests.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, RefuseOtherUsersService);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &options);

    const CURLcode result = curl_easy_perform(curl);
    if (buffer.data)
        out.assign(buffer.data);  // the text up to the first NUL byte
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    // A form's answer is taken whatever its status, as the service sends it;
    // a page only when it is there.
    return result == CURLE_OK && (body || status == 200);
}
}  // namespace

bool PostForm(const std::string& url, const std::string& body, std::string& out)
{
    return Request(url, &body, out);
}

bool GetPage(const std::string& url, std::string& out)
{
    return Request(url, nullptr, out);
}
