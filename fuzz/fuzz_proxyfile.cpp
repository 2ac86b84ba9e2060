// Proxy list files: what ReadProxyFile accepts, and that a written list reads
// back unchanged.
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "data/proxyfile.h"
#include "fuzzsupport.h"

namespace {

bool SameFields(const CProxy& a, const CProxy& b)
{
    return a == b && a.country == b.country && a.type == b.type && a.uptime == b.uptime && a.speed == b.speed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = WriteFuzzFile("proxy.in", data, size);
    // The first byte decides between replacing and appending to a list that
    // already holds one proxy.
    const bool replace = size > 0 && (data[0] & 1);
    const CProxy present("127.0.0.1", 1080, 0, 1, 5, 120);
    CProxyList list{present};
    FUZZ_CHECK(ReadProxyFile(list, input, replace));

    std::set<std::pair<std::string, int>> identities;
    for (const CProxy& proxy : list) {
        FUZZ_CHECK(std::memchr(proxy.ip, '\0', sizeof proxy.ip) != nullptr);
        FUZZ_CHECK(proxy.port != 0);
        FUZZ_CHECK(proxy.type <= 3);
        FUZZ_CHECK(identities.emplace(proxy.ip, proxy.port).second);
    }
    if (!replace)
        FUZZ_CHECK(!list.empty() && SameFields(list.front(), present));

    const std::string output = FuzzWorkDir() + "/proxy.out";
    FUZZ_CHECK(WriteProxyFile(list, output));
    CProxyList again;
    FUZZ_CHECK(ReadProxyFile(again, output, true));
    FUZZ_CHECK(again.size() == list.size());
    for (auto a = list.begin(), b = again.begin(); a != list.end(); ++a, ++b)
        FUZZ_CHECK(SameFields(*a, *b));
    return 0;
}
