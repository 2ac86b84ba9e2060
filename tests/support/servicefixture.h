#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class TempDir;

// Runs velmora-service on a free loopback port for the lifetime of the object
// and stops it at destruction. The constructor returns once the service
// answers; Running() tells whether that happened.
class ServiceFixture {
public:
    // options: extra command-line options, e.g. {"--country", "DE"}.
    explicit ServiceFixture(const std::vector<std::string>& options = {});
    ~ServiceFixture();
    ServiceFixture(const ServiceFixture&) = delete;
    ServiceFixture& operator=(const ServiceFixture&) = delete;

    bool Running() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
    // Points the program at this service through VELMORA_SERVICE_URL; the
    // previous value comes back at destruction.
    void UseAsService();
    // What the service wrote to stderr so far (one line per request, written
    // before the answer is sent).
    std::string Log() const;
    // Whether a line holding `text` appears in the log within two seconds, for
    // requests whose answer the test did not wait for.
    bool LogShows(const std::string& text) const;

    // Path of the velmora-service program.
    static std::string ProgramPath();

private:
    void Stop();

    std::unique_ptr<TempDir> dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    bool envChanged_ = false;
    bool hadEnv_ = false;
    std::string previousEnv_;
};
