#include "locationdatabase.h"

#include <unistd.h>

// libloc's headers declare C functions without saying so.
extern "C" {
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}

#include <cstdio>
#include <cstring>

namespace {
const char kMagic[] = "LOCDBXX";
const char* const kPaths[] = {"/var/lib/location/database.db", "/usr/share/libloc-location/location.db"};
}  // namespace

LocationDatabase::LocationDatabase() = default;

LocationDatabase::~LocationDatabase()
{
    if (database_)
        loc_database_unref(database_);
    if (context_)
        loc_unref(context_);
}

bool LocationDatabase::IsLocationDatabase(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char head[sizeof kMagic - 1] = {};
    const bool match =
        std::fread(head, 1, sizeof head, file) == sizeof head && std::memcmp(head, kMagic, sizeof head) == 0;
    std::fclose(file);
    return match;
}

bool LocationDatabase::Open(const std::string& path, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    loc_ctx* context = nullptr;
    loc_database* database = nullptr;
    const bool opened = loc_new(&context) == 0 && loc_database_new(context, &database, file) == 0;
    std::fclose(file);  // libloc keeps its own view of the file
    if (!opened) {
        if (context)
            loc_unref(context);
        error = path + " is not a location database libloc can read";
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (database_)
        loc_database_unref(database_);
    if (context_)
        loc_unref(context_);
    context_ = context;
    database_ = database;
    return true;
}

std::string LocationDatabase::Lookup(uint32_t address) const
{
    // An IPv4 address as libloc keeps it: mapped into IPv6 (::ffff:a.b.c.d).
    in6_addr mapped{};
    mapped.s6_addr[10] = 0xff;
    mapped.s6_addr[11] = 0xff;
    for (int i = 0; i < 4; ++i)
        mapped.s6_addr[12 + i] = static_cast<uint8_t>(address >> (24 - 8 * i));
    std::lock_guard<std::mutex> guard(lock_);
    if (!database_)
        return "";
    loc_network* network = nullptr;
    if (loc_database_lookup(database_, &mapped, &network) != 0 || !network)
        return "";
    const char* code = loc_network_get_country_code(network);
    std::string result = code && std::strlen(code) == 2 ? code : "";
    loc_network_unref(network);
    return result;
}

std::string DefaultLocationDatabasePath()
{
    for (const char* path : kPaths)
        if (access(path, R_OK) == 0)
            return path;
    return kPaths[0];
}
