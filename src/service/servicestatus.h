#pragma once

#include <string>

// Why the user's own service (velmora-service in harvest mode) has no proxy
// to give, from its status page: "key: value" lines with the harvest's
// figures. Empty when the page names no such reason (a stand-in service has
// no status page at all), and Get Proxy then says what the service's "Empty"
// has always meant.
std::string NoProxyReason(const std::string& status);

// Asks the service for its status page; "" when there is none.
std::string RequestServiceStatus();
