#include "service/servicestatus.h"

#include <map>
#include <sstream>

#include "service/postform.h"
#include "service/serviceendpoints.h"

namespace {
using Status = std::map<std::string, std::string>;

Status Parse(const std::string& text)
{
    Status values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos)
            values[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return values;
}

// The number under key; -1 when it is missing or not a number.
int Number(const Status& status, const char* key)
{
    const auto found = status.find(key);
    if (found == status.end() || found->second.empty() || found->second.size() > 9
        || found->second.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(found->second);
}

std::string Proxies(int count)
{
    return count == 1 ? "1 proxy" : std::to_string(count) + " proxies";
}
}  // namespace

std::string NoProxyReason(const std::string& text)
{
    const Status status = Parse(text);
    const int configured = Number(status, "configured-sources");
    const int rounds = Number(status, "rounds");
    if (configured < 0 || rounds < 0 || Number(status, "served") != 0)
        return "";
    if (configured == 0) {
        const auto config = status.find("config");
        const std::string where =
            config != status.end() && !config->second.empty()
                ? "Add the lists you want as sources= to " + config->second + ", then restart the service"
                : "Start the service with --source or --config";
        return "Your Velmora service has no proxy lists to harvest: no sources are configured. " + where + ".";
    }
    if (rounds == 0) {
        const int found = Number(status, "found");
        return "Your Velmora service is still running its first harvest: "
               + (found > 0 ? "it found " + Proxies(found) + " so far and is testing them."
                            : "it is fetching its " + std::to_string(configured) + " proxy lists.")
               + " Please try again in a minute.";
    }
    const int sources = Number(status, "sources");
    const int failed = Number(status, "failed-sources");
    const int harvested = Number(status, "harvested");
    const int reserved = Number(status, "reserved");
    if (sources > 0 && failed == sources)
        return "Your Velmora service could not fetch any of its " + std::to_string(sources)
               + " proxy lists; its log names each failure.";
    if (harvested == 0 && reserved > 0)
        return "Your Velmora service dropped every proxy of its lists: all " + Proxies(reserved)
               + " had reserved addresses (private, loopback and other ranges no public proxy has), which it "
                 "keeps only with allow-private=true.";
    if (harvested > 0)
        return "None of the " + Proxies(harvested)
               + " your Velmora service harvested passed its availability check with its test page.";
    if (harvested == 0)
        return "The proxy lists of your Velmora service name no proxy.";
    return "";
}

std::string RequestServiceStatus()
{
    std::string status;
    if (!GetPage(StatusEndpoint(), status))
        return "";
    return status;
}
