// Times ReadProxyFile and SortProxyList on a list of 100,000 proxies (target:
// each under 0.3 s in a Release build). The file is written to a temporary
// folder; addresses are loopback (127.x.y.z), one line in ten repeats an
// earlier proxy.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "data/countrycatalogue.h"
#include "data/proxy.h"
#include "data/proxyfile.h"
#include "support/tempdir.h"

namespace {

constexpr int kLines = 100000;
constexpr int kCountries = 250;

std::string MakeProxyFile(std::mt19937& random)
{
    std::uniform_int_distribution<int> octet(0, 255), country(-1, kCountries - 1), uptime(0, 5), speed(1, 20000),
        type(0, 3), line(0, 9);
    std::vector<std::string> written;
    written.reserve(kLines);
    std::string content;
    for (int i = 0; i < kLines; ++i) {
        if (!written.empty() && line(random) == 0) {  // a duplicate of an earlier line
            content += written[std::uniform_int_distribution<size_t>(0, written.size() - 1)(random)];
            continue;
        }
        // i in the address keeps the others distinct.
        const std::string entry = "127." + std::to_string(i >> 16 & 255) + '.' + std::to_string(i >> 8 & 255) + '.'
                                  + std::to_string(i & 255) + '\t' + std::to_string(1024 + octet(random)) + '\t'
                                  + std::to_string(country(random)) + '\t' + std::to_string(type(random)) + '\t'
                                  + std::to_string(uptime(random)) + '\t' + std::to_string(speed(random)) + "\r\n";
        written.push_back(entry);
        content += entry;
    }
    return content;
}

template <typename Action>
void Time(const char* what, Action action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%-36s %8.3f s\n", what, elapsed.count());
}

}  // namespace

int main()
{
    TempDir dir;
    ScopedChdir inDir(dir.Path());
    std::string countries;
    for (int i = 0; i < kCountries; ++i)
        countries += std::string{char('A' + i / 26 % 26), char('A' + i % 26)} + "\tCountry\r\n";
    dir.WriteFile(kCountryFileName, countries);
    GetCountryCatalogue();  // loaded before the timings

    std::mt19937 random(42);
    const std::string path = dir.WriteFile("proxy.tmp", MakeProxyFile(random));

    CProxyList list;
    Time("read into empty list", [&] { ReadProxyFile(list, path, true); });
    const size_t entries = list.size();
    Time("read again, append to full list", [&] { ReadProxyFile(list, path, false); });
    std::printf("%zu lines, %zu entries after first read, %zu after append\n", static_cast<size_t>(kLines), entries,
                list.size());

    const struct {
        SortKey key;
        bool normal;
        const char* name;
    } sorts[] = {
        {SortBySpeed, true, "sort by speed, normal order"},
        {SortBySpeed, false, "sort by speed, reverse order"},
        {SortByUptime, true, "sort by uptime, normal order"},
        {SortByUptime, false, "sort by uptime, reverse order"},
        {SortByCountry, true, "sort by country, normal order"},
        {SortByCountry, false, "sort by country, reverse order"},
    };
    for (const auto& sort : sorts) {
        CProxyList copy = list;  // each sort starts from file order
        Time(sort.name, [&] { SortProxyList(copy, sort.key, sort.normal); });
    }
    return 0;
}
