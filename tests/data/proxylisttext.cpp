#include "proxylisttext.h"

std::string ListText(const CProxyList& list)
{
    std::string text;
    for (const CProxy& p : list)
        text += std::string(p.ip) + ' ' + std::to_string(p.port) + ' ' + std::to_string(p.country) + ' '
                + std::to_string(p.type) + ' ' + std::to_string(p.uptime) + ' ' + std::to_string(p.speed) + '\n';
    return text;
}
