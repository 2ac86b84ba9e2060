// velmora-service's key file service.conf: a file it accepts leaves every
// number in its range and a test target the program takes.
#include <string>

#include "fuzzsupport.h"
#include "service/startrequest.h"
#include "serviceoptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteFuzzFile("service.conf", data, size);
    ServiceOptions options;
    std::string error;
    if (!LoadServiceConfig(path, options, error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(options.port >= 0 && options.port <= 65535);
    FUZZ_CHECK(options.messageType >= 1 && options.messageType <= 4);
    FUZZ_CHECK(options.threads >= 1 && options.threads <= 1000);
    FUZZ_CHECK(options.timeoutSeconds >= 1 && options.timeoutSeconds <= 60);
    FUZZ_CHECK(options.harvestIntervalSeconds >= 1);
    std::string url, text;
    FUZZ_CHECK(options.testTarget.empty() || ParseTestTarget(options.testTarget, url, text));
    for (const std::string& source : options.sources)
        FUZZ_CHECK(!source.empty());
    return 0;
}
