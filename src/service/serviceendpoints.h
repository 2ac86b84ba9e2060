#pragma once

#include <string>

// Base address of the maker's service: the environment variable
// VELMORA_SERVICE_URL when set and not empty, else the address compiled in.
// Never ends with "/".
std::string ServiceBaseUrl();

std::string StartEndpoint();       // base + "/velmora/start.php"
std::string RetrieveEndpoint();    // base + "/velmora/retrieve.php"
std::string TestTargetEndpoint();  // base + "/tolvane/testurl.txt"
std::string StatusEndpoint();      // base + "/velmora/status" (GET; the user's own service)
std::string HomePageUrl();         // base + "/"
std::string SupportPageUrl();      // base + "/page/support.html"
std::string ProxyListSiteUrl();    // base + "/page/proxylist.html"
std::string MakerWebAddress();     // address shown in messages: the home page

// True for an http or https URL that libcurl can parse: the only pages a
// proxy test fetches, whoever names them.
bool IsWebUrl(const std::string& url);
