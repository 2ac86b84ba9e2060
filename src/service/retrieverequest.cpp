#include "service/retrieverequest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "service/postform.h"
#include "service/serviceendpoints.h"
#include "service/servicestatus.h"
#include "service/startrequest.h"

namespace {
constexpr size_t kPrefixLength = 7;
}

RetrieveAnswer ClassifyRetrieveAnswer(const std::string& answer)
{
    if (answer.size() > kPrefixLength && std::all_of(answer.begin(), answer.begin() + kPrefixLength, [](char c) {
            return (c >= '0' && c <= '9') || c == '.';
        }))
        return RetrieveAnswer::ProxyList;
    if (answer.size() <= kPrefixLength && answer.find("Empty") != std::string::npos)
        return RetrieveAnswer::NoProxies;
    return RetrieveAnswer::Unusable;
}

Retrieval RetrieveProxies()
{
    Retrieval retrieval;
    // A failed request counts as no answer: the bytes of a transfer that broke
    // off are never taken for a proxy list.
    if (!PostForm(RetrieveEndpoint(), "OperationType=4", retrieval.answer)) {
        retrieval.answer.clear();
        return retrieval;
    }
    retrieval.kind = ClassifyRetrieveAnswer(retrieval.answer);
    switch (retrieval.kind) {
    case RetrieveAnswer::ProxyList: RequestTestTarget(retrieval.targetUrl, retrieval.targetExpected); break;
    case RetrieveAnswer::NoProxies: retrieval.noProxyReason = NoProxyReason(RequestServiceStatus()); break;
    case RetrieveAnswer::Unusable: break;
    }
    return retrieval;
}

Outcome WriteAnswerFile(const std::string& path, const std::string& answer)
{
    const auto fail = [] { return Outcome::Failed(std::strerror(errno ? errno : EIO)); };
    // Written beside the old file and renamed over it, so a full disk or a
    // failed write leaves the previous answer whole.
    const std::string partial = path + ".part";
    errno = 0;
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    if (!file)
        return fail();
    file.write(answer.data(), static_cast<std::streamsize>(answer.size()));
    file.close();
    if (file.fail() || std::rename(partial.c_str(), path.c_str()) != 0) {
        const int reason = errno;
        std::remove(partial.c_str());
        errno = reason;
        return fail();
    }
    return Outcome::Done();
}
