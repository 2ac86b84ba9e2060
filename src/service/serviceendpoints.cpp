#include "service/serviceendpoints.h"

#include <curl/curl.h>

#include <cstdlib>
#include <strings.h>

#ifndef VELMORA_DEFAULT_SERVICE_URL
#define VELMORA_DEFAULT_SERVICE_URL "http://127.0.0.1:8808"
#endif

std::string ServiceBaseUrl()
{
    const char* fromEnv = std::getenv("VELMORA_SERVICE_URL");
    std::string base = fromEnv && *fromEnv ? fromEnv : VELMORA_DEFAULT_SERVICE_URL;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

std::string StartEndpoint()
{
    return ServiceBaseUrl() + "/velmora/start.php";
}
std::string RetrieveEndpoint()
{
    return ServiceBaseUrl() + "/velmora/retrieve.php";
}
std::string TestTargetEndpoint()
{
    return ServiceBaseUrl() + "/tolvane/testurl.txt";
}

std::string StatusEndpoint()
{
    return ServiceBaseUrl() + "/velmora/status";
}
std::string HomePageUrl()
{
    return ServiceBaseUrl() + "/";
}
std::string SupportPageUrl()
{
    return ServiceBaseUrl() + "/page/support.html";
}
std::string ProxyListSiteUrl()
{
    return ServiceBaseUrl() + "/page/proxylist.html";
}
std::string MakerWebAddress()
{
    return HomePageUrl();
}
bool IsWebUrl(const std::string& url)
{
    CURLU* parsed = curl_url();
    char* scheme = nullptr;
    const bool web = parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
                     && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK
                     && (strcasecmp(scheme, "http") == 0 || strcasecmp(scheme, "https") == 0);
    curl_free(scheme);
    curl_url_cleanup(parsed);
    return web;
}
