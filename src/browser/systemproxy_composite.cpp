#include "browser/systemproxy_composite.h"

#include "browser/savedproxysettings.h"

namespace {

DesktopProxySettings Prefixed(const DesktopProxySettings& settings, const std::string& prefix)
{
    DesktopProxySettings prefixed;
    for (const auto& [key, value] : settings)
        prefixed[prefix + key] = value;
    return prefixed;
}

// The keys that carry prefix, without it.
DesktopProxySettings PartOf(const DesktopProxySettings& settings, const std::string& prefix)
{
    DesktopProxySettings part;
    for (const auto& [key, value] : settings)
        if (key.compare(0, prefix.size(), prefix) == 0)
            part[key.substr(prefix.size())] = value;
    return part;
}

}  // namespace

CCompositeProxyStore::CCompositeProxyStore(Part first, Part second, std::string savedSettingsName)
    : parts_{std::move(first), std::move(second)}, savedSettingsName_(std::move(savedSettingsName))
{}

bool CCompositeProxyStore::FollowedByFirefox() const
{
    return parts_[0].store->FollowedByFirefox() || parts_[1].store->FollowedByFirefox();
}

bool CCompositeProxyStore::Read(const std::string& connection, DesktopProxySettings& settings)
{
    DesktopProxySettings read;
    for (const Part& part : parts_) {
        DesktopProxySettings own;
        if (!part.store->Read(connection, own))
            return false;
        read.merge(Prefixed(own, part.prefix));
    }
    settings = read;
    return true;
}

bool CCompositeProxyStore::WriteSocksProxy(const std::string& connection, const DesktopProxySettings& before,
                                           const std::string& host, int port)
{
    for (const Part& part : parts_)
        if (!part.store->WriteSocksProxy(connection, PartOf(before, part.prefix), host, port))
            return false;
    return true;
}

DesktopProxySettings CCompositeProxyStore::SocksProxySettings(const DesktopProxySettings& before,
                                                              const std::string& host, int port) const
{
    DesktopProxySettings target;
    for (const Part& part : parts_) {
        const DesktopProxySettings own = part.store->SocksProxySettings(PartOf(before, part.prefix), host, port);
        if (own.empty())
            return {};
        target.merge(Prefixed(own, part.prefix));
    }
    return target;
}

bool CCompositeProxyStore::Write(const std::string& connection, const DesktopProxySettings& settings)
{
    bool written = true;
    for (const Part& part : parts_)
        written = part.store->Write(connection, PartOf(settings, part.prefix)) && written;
    return written;
}

bool CCompositeProxyStore::WriteDirect(const std::string& connection)
{
    bool written = true;
    for (const Part& part : parts_)
        written = part.store->WriteDirect(connection) && written;
    return written;
}

bool CCompositeProxyStore::HoldsSocksProxy(const DesktopProxySettings& settings, const std::string& host,
                                           int port) const
{
    for (const Part& part : parts_)
        if (!part.store->HoldsSocksProxy(PartOf(settings, part.prefix), host, port))
            return false;
    return true;
}

std::string CCompositeProxyStore::CheckSocksProxy(const std::string& host, int port)
{
    for (const Part& part : parts_)
        if (const std::string problem = part.store->CheckSocksProxy(host, port); !problem.empty())
            return part.where + ", " + problem;
    return std::string();
}

void CCompositeProxyStore::NotifySettingsChanged()
{
    for (const Part& part : parts_)
        part.store->NotifySettingsChanged();
}

void CCompositeProxyStore::AdoptFirstStoreSavedSettings()
{
    const std::string earlierPath = SavedProxySettingsPath(parts_[0].store->SavedSettingsName());
    const std::string path = SavedProxySettingsPath(savedSettingsName_);
    SavedProxySettings earlier;
    SavedProxySettings saved;
    if (LoadSavedProxySettings(path, saved) || !LoadSavedProxySettings(earlierPath, earlier))
        return;
    DesktopProxySettings second;
    if (!parts_[1].store->Read(earlier.connection, second))
        return;
    saved = earlier;
    saved.before = Prefixed(earlier.before, parts_[0].prefix);
    saved.before.merge(Prefixed(second, parts_[1].prefix));
    // The earlier file goes only once the new one is safe on disk.
    if (StoreSavedProxySettings(path, saved))
        RemoveSavedProxySettings(earlierPath);
}
