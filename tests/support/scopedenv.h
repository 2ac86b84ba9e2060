#pragma once

#include <cstdlib>
#include <string>

// Sets an environment variable for its lifetime; the previous value, or its
// absence, comes back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            hadOld_ = true;
            previous_ = old;
        }
        setenv(name_, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (hadOld_)
            setenv(name_, previous_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool hadOld_ = false;
    std::string previous_;
};

// Points the program's service requests at url (VELMORA_SERVICE_URL).
class ScopedServiceUrl : public ScopedEnv {
public:
    explicit ScopedServiceUrl(const std::string& url) : ScopedEnv("VELMORA_SERVICE_URL", url) {}
};
