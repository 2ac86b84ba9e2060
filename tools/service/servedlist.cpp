#include "servedlist.h"

#include <algorithm>
#include <cstdio>

namespace {
const char kEmpty[] = "Empty";
// Turns are kept for this many callers; the one unused longest goes first.
constexpr size_t kMaxCallers = 64;

void AppendLine(std::string& text, const CProxy& proxy)
{
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%s\t%d\t%d\t%d\t%d\t%d\r\n", proxy.ip, proxy.port,
                                     proxy.country, proxy.type, proxy.uptime, proxy.speed);
    text.append(line, static_cast<size_t>(length));
}
}  // namespace

std::string ProxyIdentity(const CProxy& proxy)
{
    return std::string(proxy.ip) + ":" + std::to_string(proxy.port);
}

std::string FormatProxyList(const CProxyList& list)
{
    std::string text;
    text.reserve(list.size() * 40);
    for (const CProxy& proxy : list)
        AppendLine(text, proxy);
    return text;
}

ServedList::ServedList(size_t serveCount) : serveCount_(serveCount), whole_(std::make_shared<const std::string>(kEmpty))
{}

void ServedList::Publish(const CProxyList& list)
{
    std::vector<CProxy> sorted(list.begin(), list.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const CProxy& a, const CProxy& b) { return a.speed < b.speed; });
    std::string text;
    text.reserve(sorted.size() * 40);
    for (const CProxy& proxy : sorted)
        AppendLine(text, proxy);
    auto whole = std::make_shared<const std::string>(sorted.empty() ? std::string(kEmpty) : std::move(text));
    std::lock_guard<std::mutex> guard(lock_);
    proxies_.swap(sorted);
    whole_ = std::move(whole);
}

ServedList::Turn& ServedList::TurnOf(const std::string& caller)
{
    auto found = turns_.find(caller);
    if (found == turns_.end()) {
        if (turns_.size() >= kMaxCallers)
            turns_.erase(std::min_element(turns_.begin(), turns_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            }));
        found = turns_.emplace(caller, Turn()).first;
    }
    found->second.lastUse = ++uses_;
    return found->second;
}

std::shared_ptr<const std::string> ServedList::Answer(const std::string& caller)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (serveCount_ == 0 || proxies_.empty())
        return whole_;
    Turn& turn = TurnOf(caller);
    std::vector<const CProxy*> chosen;
    for (int pass = 0; pass < 2 && chosen.empty(); ++pass) {
        if (pass == 1)
            turn.given.clear();  // every proxy was given: a new turn
        for (const CProxy& proxy : proxies_) {
            if (chosen.size() == serveCount_)
                break;
            if (!turn.given.count(ProxyIdentity(proxy)))
                chosen.push_back(&proxy);
        }
    }
    for (const CProxy* proxy : chosen)
        turn.given.insert(ProxyIdentity(*proxy));
    // Every proxy, as kept: the shared answer serves.
    if (chosen.size() == proxies_.size())
        return whole_;
    std::string text;
    text.reserve(chosen.size() * 40);
    for (const CProxy* proxy : chosen)
        AppendLine(text, *proxy);
    return std::make_shared<const std::string>(std::move(text));
}

void ServedList::BeginTurn(const std::string& caller)
{
    std::lock_guard<std::mutex> guard(lock_);
    turns_.erase(caller);
}

size_t ServedList::Count() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return proxies_.size();
}
