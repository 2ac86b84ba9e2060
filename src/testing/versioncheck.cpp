#include "testing/versioncheck.h"

#include <algorithm>

#include "testing/answercheck.h"
#include "testing/transferloop.h"

namespace {
bool Running(const std::unique_ptr<CTestFetch>& fetch)
{
    return fetch && fetch->loop;
}
}  // namespace

CTestJob::Clock::time_point ProbeGraceEnd(CTestJob::Clock::time_point started, CTestJob::Clock::time_point now)
{
    return now + std::max<CTestJob::Clock::duration>(kProbeGraceFloor, (now - started) / 3);
}

int ProxyTypeOf(bool socks4, bool socks5)
{
    if (socks4)
        return socks5 ? kTypeSocks4And5 : kTypeSocks4;
    return socks5 ? kTypeSocks5 : kTypeSocks;
}

void CVersionCheck::Start(CTransferLoop& loop, CTestJob& job, const TestTarget& target, const CProxyList& proxies,
                          long connectTimeoutMs)
{
    started_ = Clock::now();
    target_ = &target;
    proxies_.reserve(proxies.size());
    auto launch = [&](const CProxy& proxy, curl_proxytype type) {
        auto fetch = std::make_unique<CTestFetch>(target, proxy, type);
        if (fetch->handle && connectTimeoutMs > 0)
            curl_easy_setopt(fetch->handle, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        fetch->job = &job;
        loop.Add(*fetch);
        return fetch;
    };
    for (const CProxy& proxy : proxies) {
        proxies_.emplace_back();
        if (!proxy.IsUsable())
            continue;
        proxies_.back().socks4 = launch(proxy, CURLPROXY_SOCKS4);
        proxies_.back().socks5 = launch(proxy, CURLPROXY_SOCKS5);
    }
    UpdateGrace();
}

void CVersionCheck::TransferEnded()
{
    UpdateGrace();
}

bool CVersionCheck::Ended() const
{
    return std::none_of(proxies_.begin(), proxies_.end(),
                        [](const Fetches& f) { return Running(f.socks4) || Running(f.socks5); });
}

int CVersionCheck::TypeOf(size_t i) const
{
    return i < proxies_.size() ? ProxyTypeOf(Passed(proxies_[i].socks4), Passed(proxies_[i].socks5)) : kTypeSocks;
}

const CTestFetch* CVersionCheck::PassedFetch(size_t i) const
{
    if (i >= proxies_.size())
        return nullptr;
    for (const auto* fetch : {&proxies_[i].socks4, &proxies_[i].socks5})
        if (Passed(*fetch))
            return fetch->get();
    return nullptr;
}

bool CVersionCheck::Passed(const std::unique_ptr<CTestFetch>& fetch) const
{
    return fetch && fetch->BroughtText() && ContainsNoCase(fetch->body.data, target_->expected.c_str());
}

bool CVersionCheck::Deciding(const Fetches& fetches) const
{
    return (Running(fetches.socks4) || Running(fetches.socks5)) && !Passed(fetches.socks4) && !Passed(fetches.socks5);
}

void CVersionCheck::UpdateGrace()
{
    if (graceEnd_ != CTestJob::kNoDeadline)
        return;
    if (std::none_of(proxies_.begin(), proxies_.end(), [this](const Fetches& f) { return Deciding(f); }))
        graceEnd_ = ProbeGraceEnd(started_, Clock::now());
}
