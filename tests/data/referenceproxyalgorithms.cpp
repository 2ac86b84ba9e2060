#include "referenceproxyalgorithms.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "data/tabstdiofile.h"

namespace {

void SelectionSortBySpeed(CProxyList& list)
{
    const int count = static_cast<int>(list.size());
    for (int i = 0; i < count; ++i) {
        auto candidate = EntryAt(list, i);
        for (auto it = std::next(candidate); it != list.end(); ++it)
            if (it->speed < candidate->speed)
                candidate = it;
        if (candidate == EntryAt(list, i))
            continue;
        const CProxy moved = *candidate;
        list.erase(candidate);
        if (i == 0)
            list.push_front(moved);
        else
            list.insert(EntryAt(list, i), moved);
    }
}

}  // namespace

void ReferenceSortProxyList(CProxyList& list, SortKey key, bool normalOrder, int countryCount)
{
    SelectionSortBySpeed(list);
    if (key == SortBySpeed && normalOrder)
        return;

    const CProxyList temporary = list;
    list.clear();
    if (key == SortBySpeed) {
        for (auto it = temporary.rbegin(); it != temporary.rend(); ++it)
            list.push_back(*it);
        return;
    }

    std::vector<int> values;  // the bucket values in the order of the passes
    if (key == SortByUptime) {
        for (int v = 1; v <= 5; ++v)
            values.push_back(v);
        if (normalOrder)
            std::reverse(values.begin(), values.end());  // 5/5 first
    } else {
        for (int c = 0; c < countryCount; ++c)
            values.push_back(c);
        if (!normalOrder)
            std::reverse(values.begin(), values.end());
    }

    for (int v : values)
        for (const CProxy& p : temporary)
            if ((key == SortByUptime ? p.uptime : p.country) == v)
                list.push_back(p);
    for (const CProxy& p : temporary) {
        const int value = key == SortByUptime ? p.uptime : p.country;
        const bool grouped = key == SortByUptime ? (value >= 1 && value <= 5) : (value >= 0 && value < countryCount);
        if (!grouped)
            list.push_back(p);
    }
}

bool ReferenceReadProxyFile(CProxyList& list, const std::string& path, bool replace)
{
    CTabStdioFile file;
    if (!file.Open(path, CTabStdioFile::modeRead))
        return false;
    if (replace)
        list.clear();
    while (file.ReadLine()) {
        if (file.FieldCount() == 1)
            break;
        if (file.FieldCount() != 6)
            continue;
        std::string ip, port, country, type, uptime, speed;
        file.ReadField(ip, false);
        file.ReadField(port, false);
        file.ReadField(country, false);
        file.ReadField(type, false);
        file.ReadField(uptime, false);
        file.ReadField(speed, true);
        if (ip.size() > 15)
            continue;  // CProxy would store it as the empty text
        const CProxy proxy(ip.c_str(), CTabStdioFile::ToInt(port), CTabStdioFile::ToInt(country),
                           CTabStdioFile::ToInt(type), CTabStdioFile::ToInt(uptime), CTabStdioFile::ToInt(speed));
        if (!proxy.IsUsable() || proxy.type > 3)
            continue;
        if (FindProxy(list, proxy) == list.end())
            list.push_back(proxy);
    }
    return true;
}
