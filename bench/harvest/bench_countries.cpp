// bench_countries: the service's country lookup from libloc's Location
// database beside Tor's geoip file (tor-geoipdb, from the same IPFire data,
// often newer), on 200,000 random public IPv4 addresses: how often the two
// agree, how often only one knows the address, and the cost of a lookup and
// of loading each.
//
//   bench_countries [TOR_GEOIP_FILE]     (default /usr/share/tor/geoip)
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "addressfilter.h"
#include "geoipdatabase.h"
#include "locationdatabase.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kSample = 200000;

double Ms(Clock::duration elapsed)
{
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

bool Load(GeoIpDatabase& database, const std::string& path, double& loadMs)
{
    std::string error;
    const auto started = Clock::now();
    const bool loaded = database.Load(path, error);
    loadMs = Ms(Clock::now() - started);
    if (!loaded)
        std::printf("cannot load %s: %s\n", path.c_str(), error.c_str());
    return loaded;
}
}  // namespace

int main(int argc, char** argv)
{
    const std::string locationPath = DefaultLocationDatabasePath();
    const std::string torPath = argc > 1 ? argv[1] : "/usr/share/tor/geoip";
    GeoIpDatabase location, tor;
    double locationLoad = 0, torLoad = 0;
    if (!Load(location, locationPath, locationLoad) || !Load(tor, torPath, torLoad))
        return 1;

    std::mt19937 random(21);
    std::vector<uint32_t> sample;
    while (sample.size() < kSample) {
        const uint32_t address = static_cast<uint32_t>(random());
        if (!IsSpecialPurposeAddress(address))
            sample.push_back(address);
    }
    std::vector<std::string> fromLocation(kSample), fromTor(kSample);
    auto started = Clock::now();
    for (int i = 0; i < kSample; ++i)
        fromLocation[static_cast<size_t>(i)] = location.Lookup(sample[static_cast<size_t>(i)]);
    const double locationMs = Ms(Clock::now() - started);
    started = Clock::now();
    for (int i = 0; i < kSample; ++i)
        fromTor[static_cast<size_t>(i)] = tor.Lookup(sample[static_cast<size_t>(i)]);
    const double torMs = Ms(Clock::now() - started);

    int both = 0, differ = 0, onlyLocation = 0, onlyTor = 0;
    for (int i = 0; i < kSample; ++i) {
        const std::string& a = fromLocation[static_cast<size_t>(i)];
        const std::string& b = fromTor[static_cast<size_t>(i)];
        if (!a.empty() && !b.empty()) {
            ++both;
            differ += a != b;
        } else if (!a.empty()) {
            ++onlyLocation;
        } else if (!b.empty()) {
            ++onlyTor;
        }
    }
    std::printf("%d random public IPv4 addresses\n", kSample);
    std::printf("libloc %s: loaded in %.1f ms, %.2f us a lookup\n", locationPath.c_str(), locationLoad,
                locationMs * 1000 / kSample);
    std::printf("Tor geoip %s: loaded in %.1f ms, %.2f us a lookup\n", torPath.c_str(), torLoad,
                torMs * 1000 / kSample);
    std::printf("both know %d; they name different countries for %d (%.2f%%)\n", both, differ,
                both ? 100.0 * differ / both : 0.0);
    std::printf("only libloc knows %d, only Tor's file knows %d, neither %d\n", onlyLocation, onlyTor,
                kSample - both - onlyLocation - onlyTor);
    return 0;
}
