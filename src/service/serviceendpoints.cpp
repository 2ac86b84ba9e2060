#include "service/serviceendpoints.h"

#include <cstdlib>

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
const char* FallbackTestUrl()
{
    return "https://duckduckgo.com/";
}
