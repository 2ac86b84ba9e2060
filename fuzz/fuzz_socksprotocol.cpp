// The local relay's SOCKS bytes: any client handshake and any proxy answer
// give a result within the bytes seen, never a crash, and a request the
// relay accepts, rebuilt for a proxy, reads back as the same target.
#include <string>

#include "browser/socksprotocol.h"
#include "fuzzsupport.h"

namespace {
bool SameTarget(const SocksTarget& a, const SocksTarget& b)
{
    return a.kind == b.kind && a.host == b.host && a.port == b.port;
}

void CheckAnswer(const SocksProxyAnswer& answer, size_t size)
{
    FUZZ_CHECK(answer.consumed <= size);
    FUZZ_CHECK((answer.status == SocksProxyAnswer::Status::Granted) == (answer.consumed > 0));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (const bool greeted : {false, true}) {
        const SocksClientRequest request = ParseSocksClientRequest(bytes, greeted);
        FUZZ_CHECK(request.consumed <= bytes.size());
        if (request.status == SocksClientRequest::Status::Greeting)
            FUZZ_CHECK(request.reply == std::string("\x05\x00", 2) && !greeted);
        if (request.status != SocksClientRequest::Status::Connect)
            continue;
        FUZZ_CHECK(!request.target.host.empty() && request.target.host.size() <= 255);
        const bool socks5 = request.version == 5;
        const std::string rebuilt =
            socks5 ? Socks5ConnectRequest(request.target) : Socks4ConnectRequest(request.target);
        const SocksClientRequest again = ParseSocksClientRequest(rebuilt, socks5);
        FUZZ_CHECK(again.status == SocksClientRequest::Status::Connect && again.consumed == rebuilt.size());
        FUZZ_CHECK(SameTarget(again.target, request.target));
    }
    CheckAnswer(ParseSocks5MethodAnswer(bytes), bytes.size());
    CheckAnswer(ParseSocks5ConnectAnswer(bytes), bytes.size());
    CheckAnswer(ParseSocks4ConnectAnswer(bytes), bytes.size());
    return 0;
}
