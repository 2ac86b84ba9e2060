#pragma once

#include <chrono>
#include <mutex>
#include <string>

// The machine's public IPv4 address, asked from a page that answers with the
// caller's address (e.g. "203.0.113.7\n"). Kept for ten minutes so that
// program starts do not each cost a request.
class PublicAddress {
public:
    explicit PublicAddress(std::string url);
    // The address, or "" when there is no page or it gave no IPv4 address.
    std::string Get();

private:
    const std::string url_;
    std::mutex lock_;  // one request at a time; the others wait for its answer
    std::string address_;
    std::chrono::steady_clock::time_point fetchedAt_{};
    bool fetched_ = false;
};
