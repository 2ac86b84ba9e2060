#include "data/proxyfile.h"

#include <functional>
#include <string_view>
#include <unordered_set>

#include "data/tabstdiofile.h"

namespace {

constexpr int kProxyFieldCount = 6;

// Entries are looked up by identity through pointers to list nodes, which
// stay valid while the list grows at its tail. Finding a duplicate this way
// drops the same lines as a walk of the list from its head, in constant time.
struct IdentityHash {
    size_t operator()(const CProxy* proxy) const
    {
        return std::hash<std::string_view>()(proxy->ip) * 31 + static_cast<size_t>(proxy->port);
    }
};
struct IdentityEqual {
    bool operator()(const CProxy* a, const CProxy* b) const { return *a == *b; }
};

}  // namespace

bool ReadProxyFile(CProxyList& list, const std::string& path, bool replace)
{
    CTabStdioFile file;
    if (!file.Open(path, CTabStdioFile::modeRead))
        return false;
    if (replace)
        list.clear();

    std::unordered_set<const CProxy*, IdentityHash, IdentityEqual> known;
    known.reserve(list.size());
    for (const CProxy& proxy : list)
        known.insert(&proxy);

    while (file.ReadLine()) {
        const int fieldCount = file.FieldCount();
        if (fieldCount == 1)
            break;  // a single field (an empty line too) ends the list
        // Any other count but six is a damaged line; skip it whole so that no
        // record is built from the fields of two lines.
        if (fieldCount != kProxyFieldCount)
            continue;
        std::string fields[kProxyFieldCount];
        for (int i = 0; i < kProxyFieldCount; ++i)
            file.ReadField(fields[i], i == kProxyFieldCount - 1);

        if (!IsValidProxyAddress(fields[0].c_str()))
            continue;
        const int port = CTabStdioFile::ToInt(fields[1]);
        const int type = CTabStdioFile::ToInt(fields[3]);
        if (!IsValidProxyPort(port) || type > kTypeSocks4And5)
            continue;
        const CProxy proxy(fields[0].c_str(), port, CTabStdioFile::ToInt(fields[2]), type,
                           CTabStdioFile::ToInt(fields[4]), CTabStdioFile::ToInt(fields[5]));
        if (known.count(&proxy))
            continue;  // the first occurrence stays, with all its fields
        list.push_back(proxy);
        known.insert(&list.back());
    }
    return true;
}

bool WriteProxyFile(const CProxyList& list, const std::string& path)
{
    CTabStdioFile file;
    if (!file.Open(path, CTabStdioFile::modeCreate))
        return false;
    for (const CProxy& proxy : list) {
        file.WriteField(proxy.ip, false);
        for (int value : {proxy.port, proxy.country, proxy.type, proxy.uptime})
            file.WriteField(std::to_string(value), false);
        file.WriteField(std::to_string(proxy.speed), true);
    }
    file.Close();
    return !file.Failed();
}
