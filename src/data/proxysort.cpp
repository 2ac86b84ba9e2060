#include "data/countrycatalogue.h"
#include "data/proxy.h"

// The table's ordering: entries by speed ascending (equal speeds keep their
// order), then grouped by the key with speed as the inner order. It is done
// as one stable sort on (group rank, speed), which yields the same order as
// sorting by speed first and then collecting each group in turn, in
// O(n log n) instead of a selection sort and one list walk per group.
namespace {

// Groups are ranked 0..groupCount-1 in the requested order; values outside
// the key's range rank groupCount, so they follow every group.
int GroupRank(int value, int first, int groupCount, bool ascending)
{
    if (value < first || value - first >= groupCount)
        return groupCount;
    const int offset = value - first;
    return ascending ? offset : groupCount - 1 - offset;
}

template <typename RankOf>
void SortByRankThenSpeed(CProxyList& list, RankOf rankOf)
{
    list.sort([&rankOf](const CProxy& a, const CProxy& b) {
        const int rankA = rankOf(a), rankB = rankOf(b);
        if (rankA != rankB)
            return rankA < rankB;
        return a.speed < b.speed;
    });
}

}  // namespace

void SortProxyList(CProxyList& list, SortKey key, bool normalOrder)
{
    if (key == SortByUptime) {
        // normalOrder puts 5/5 first: uptime 5..1 is descending.
        SortByRankThenSpeed(list, [normalOrder](const CProxy& p) { return GroupRank(p.uptime, 1, 5, !normalOrder); });
    } else if (key == SortByCountry) {
        const int countryCount = GetCountryCatalogue().Count();
        SortByRankThenSpeed(list, [normalOrder, countryCount](const CProxy& p) {
            return GroupRank(p.country, 0, countryCount, normalOrder);
        });
    } else {
        // SortBySpeed; any other value gets the speed order alone rather than losing entries.
        list.sort([](const CProxy& a, const CProxy& b) { return a.speed < b.speed; });
        if (key == SortBySpeed && !normalOrder)
            list.reverse();  // the exact reverse, equal speeds included
    }
}
