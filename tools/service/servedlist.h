#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "data/proxy.h"

// The retrieve answer of harvest mode: the proxies kept, fastest first. A
// harvest publishes a whole list at a time under the lock, so a request gets
// either the old list or the new one, never a mixture; the text a request
// holds stays valid after a swap.
//
// With a serve count, an answer holds at most that many proxies, and each
// caller gets them in turns: every answer brings the fastest proxies that
// caller has not been given since its turn began, so a Get Proxy answered
// with Append brings new proxies. The program's start request begins a new
// turn (the first Get Proxy of a run brings the fastest again), and so does
// a caller that has been given every proxy.
class ServedList {
public:
    // serveCount 0 serves every proxy in every answer.
    explicit ServedList(size_t serveCount = 0);
    // Replaces the proxies served with list, in any order.
    void Publish(const CProxyList& list);
    // The answer for caller, or "Empty" when no proxy is kept.
    std::shared_ptr<const std::string> Answer(const std::string& caller = std::string());
    // The next answer for caller starts again with the fastest proxies.
    void BeginTurn(const std::string& caller);
    size_t Count() const;

private:
    struct Turn {
        std::unordered_set<std::string> given;  // "ip:port" of every proxy given in this turn
        unsigned long long lastUse = 0;
    };
    Turn& TurnOf(const std::string& caller);

    const size_t serveCount_;
    mutable std::mutex lock_;
    std::vector<CProxy> proxies_;               // fastest first
    std::shared_ptr<const std::string> whole_;  // every proxy, or "Empty"
    std::map<std::string, Turn> turns_;
    unsigned long long uses_ = 0;
};

// "ip:port": a proxy's identity.
std::string ProxyIdentity(const CProxy& proxy);

// The proxy list file lines of list: six tab-separated fields, CR LF ends.
std::string FormatProxyList(const CProxyList& list);
