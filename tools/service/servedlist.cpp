#include "servedlist.h"

#include <cstdio>

namespace {
const char kEmpty[] = "Empty";
}

std::string FormatProxyList(const CProxyList& list)
{
    std::string text;
    text.reserve(list.size() * 40);
    char line[96];
    for (const CProxy& proxy : list) {
        const int length = std::snprintf(line, sizeof line, "%s\t%d\t%d\t%d\t%d\t%d\r\n", proxy.ip, proxy.port,
                                         proxy.country, proxy.type, proxy.uptime, proxy.speed);
        text.append(line, static_cast<size_t>(length));
    }
    return text;
}

ServedList::ServedList() : answer_(std::make_shared<const std::string>(kEmpty)) {}

void ServedList::Publish(const CProxyList& list)
{
    auto answer = std::make_shared<const std::string>(list.empty() ? std::string(kEmpty) : FormatProxyList(list));
    std::lock_guard<std::mutex> guard(lock_);
    answer_ = std::move(answer);
    count_ = list.size();
}

std::shared_ptr<const std::string> ServedList::Answer() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return answer_;
}

size_t ServedList::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}
