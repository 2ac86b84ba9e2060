// The harvest's and velmora-check's line parser over public proxy lists:
// only real addresses come out, each once, and every other line is counted.
#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "checkinput.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CheckInput input = ParseCheckInput(text);
    std::set<std::pair<std::string, int>> seen;
    for (const CProxy& proxy : input.proxies) {
        FUZZ_CHECK(proxy.IsUsable());
        FUZZ_CHECK(seen.insert({proxy.ip, proxy.port}).second);
    }
    // At most one proxy or one skipped line a line, whatever ends the lines.
    const size_t lines =
        static_cast<size_t>(std::count(text.begin(), text.end(), '\n') + std::count(text.begin(), text.end(), '\r'))
        + 1;
    FUZZ_CHECK(input.proxies.size() + static_cast<size_t>(input.skippedLines) <= lines);
    FUZZ_CHECK(input.skippedAt.size() <= CheckInput::kSkippedShown);
    FUZZ_CHECK(input.skippedAt.size() <= static_cast<size_t>(input.skippedLines));
    FUZZ_CHECK(std::is_sorted(input.skippedAt.begin(), input.skippedAt.end()));
    return 0;
}
