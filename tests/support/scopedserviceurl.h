#pragma once

#include <cstdlib>
#include <string>

// Points the program's service requests at url (VELMORA_SERVICE_URL) for its
// lifetime; the previous value comes back afterwards.
class ScopedServiceUrl {
public:
    explicit ScopedServiceUrl(const std::string& url)
    {
        if (const char* old = std::getenv(kName)) {
            hadOld = true;
            previous = old;
        }
        setenv(kName, url.c_str(), 1);
    }
    ~ScopedServiceUrl()
    {
        if (hadOld)
            setenv(kName, previous.c_str(), 1);
        else
            unsetenv(kName);
    }
    ScopedServiceUrl(const ScopedServiceUrl&) = delete;
    ScopedServiceUrl& operator=(const ScopedServiceUrl&) = delete;

private:
    static constexpr const char* kName = "VELMORA_SERVICE_URL";
    bool hadOld = false;
    std::string previous;
};
