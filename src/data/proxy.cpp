#include "data/proxy.h"

#include <arpa/inet.h>

#include <cstring>
#include <iterator>

CProxy::CProxy()
{
    ip[0] = '\0';
}

CProxy::CProxy(const char* ipText, int portNumber, int countryIndex, int socksType, int fetchesPassed, int speedMs)
    : port(portNumber), country(countryIndex), type(socksType), uptime(fetchesPassed), speed(speedMs)
{
    SetIp(ipText);
}

CProxy::CProxy(const CProxy& other) = default;
CProxy& CProxy::operator=(const CProxy& other) = default;

void CProxy::SetIp(const char* text)
{
    // strnlen never reads past the 16th byte of a long text; memmove allows text == ip.
    const size_t length = text ? strnlen(text, sizeof ip) : sizeof ip;
    if (length < sizeof ip)
        std::memmove(ip, text, length + 1);
    else
        ip[0] = '\0';
}

bool CProxy::operator==(const CProxy& other) const
{
    return port == other.port && std::strcmp(ip, other.ip) == 0;
}

bool CProxy::IsUsable() const
{
    return IsValidProxyAddress(ip) && IsValidProxyPort(port);
}

bool IsValidProxyAddress(const char* text)
{
    // inet_pton takes only the four-part dotted form, without leading zeros,
    // which is what libcurl and the desktop's proxy settings read the same way.
    in_addr address;
    return text && inet_pton(AF_INET, text, &address) == 1;
}

CProxyList& GetProxyList()
{
    static CProxyList list;
    return list;
}

CProxyList::iterator FindProxy(CProxyList& list, const CProxy& proxy)
{
    for (auto it = list.begin(); it != list.end(); ++it)
        if (*it == proxy)
            return it;
    return list.end();
}

CProxyList::iterator EntryAt(CProxyList& list, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= list.size())
        return list.end();
    return std::next(list.begin(), index);
}
