// Why the user's own service has no proxy: its status page mapped to Get Proxy's message.
#include <gtest/gtest.h>

#include "service/servicestatus.h"

namespace {

std::string Status(const std::string& lines)
{
    return "state: waiting\nrounds: 1\nserved: 0\nsources: 2\nfailed-sources: 0\nharvested: 0\npassed: 0\n"
           "reserved: 0\nskipped-lines: 0\nconfigured-sources: 2\nfound: 0\nconfig: /home/me/.config/velmora/"
           "service.conf\n"
           + lines;  // later lines replace earlier ones
}

TEST(NoProxyReasonTest, EachCauseTheServiceKnowsGetsItsMessage)
{
    const struct {
        std::string status;
        std::string message;
    } cases[] = {
        {Status("configured-sources: 0\nsources: 0\n"),
         "Your Velmora service has no proxy lists to harvest: no sources are configured. Add the lists you want as "
         "sources= to /home/me/.config/velmora/service.conf, then restart the service."},
        {Status("configured-sources: 0\nconfig: \n"),
         "Your Velmora service has no proxy lists to harvest: no sources are configured. Start the service with "
         "--source or --config."},
        {Status("rounds: 0\nstate: harvesting\nfound: 340\n"),
         "Your Velmora service is still running its first harvest: it found 340 proxies so far and is testing them. "
         "Please try again in a minute."},
        {Status("rounds: 0\nstate: harvesting\n"),
         "Your Velmora service is still running its first harvest: it is fetching its 2 proxy lists. Please try "
         "again in a minute."},
        {Status("reserved: 12\n"),
         "Your Velmora service dropped every proxy of its lists: all 12 proxies had reserved addresses (private, "
         "loopback and other ranges no public proxy has), which it keeps only with allow-private=true."},
        {Status("harvested: 1\nreserved: 3\n"),
         "None of the 1 proxy your Velmora service harvested passed its availability check with its test page."},
        {Status("failed-sources: 2\n"), "Your Velmora service could not fetch any of its 2 proxy lists; its log "
                                        "names each failure."},
        {Status(""), "The proxy lists of your Velmora service name no proxy."},
        // No reason: a service that serves proxies, a stand-in without a status page, a foreign page.
        {Status("served: 4\n"), ""},
        {"", ""},
        {"<html><body>Not Found</body></html>", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoProxyReason(c.status), c.message) << c.status;
}

}  // namespace
