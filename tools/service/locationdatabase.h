#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct loc_ctx;
struct loc_database;

// The IPFire Location database through Debian's libloc (libloc1): the file
// Debian's libloc-database installs, or a newer one "location update" wrote.
// A package of data and a library only: no daemon, no timer, no network.
class LocationDatabase {
public:
    LocationDatabase();
    ~LocationDatabase();
    LocationDatabase(const LocationDatabase&) = delete;
    LocationDatabase& operator=(const LocationDatabase&) = delete;

    // True when the file starts with the database's magic bytes.
    static bool IsLocationDatabase(const std::string& path);
    // false with error when the file is not a database libloc can open.
    bool Open(const std::string& path, std::string& error);
    // The country code of the network holding address (e.g. "DE"), or "".
    std::string Lookup(uint32_t address) const;

private:
    loc_ctx* context_ = nullptr;
    loc_database* database_ = nullptr;
    // libloc's objects count references without atomics: one lookup at a time.
    mutable std::mutex lock_;
};

// libloc's own database path (kept fresh by "location update" where the
// user installed that tool), else the file of Debian's libloc-database; the
// first that exists, or the first when neither does.
std::string DefaultLocationDatabasePath();
