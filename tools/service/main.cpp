// velmora-service: answers the Velmora program's service requests on loopback.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "countrylookup.h"
#include "countrytable.h"
#include "guardedserver.h"
#include "harvester.h"
#include "locationdatabase.h"
#include "openfiles.h"
#include "publicaddress.h"
#include "removalwatch.h"
#include "servedlist.h"
#include "serviceanswers.h"
#include "servicelog.h"
#include "serviceoptions.h"
#include "testing/checkanonymousworker.h"

namespace {
const char kHost[] = "127.0.0.1";
const char kText[] = "text/plain; charset=iso-8859-1";
const char kHtml[] = "text/html; charset=utf-8";
// Every path the service answers is short; a longer one is refused unread.
constexpr size_t kLongestTarget = 512;
constexpr off_t kLogCap = 2 * 1024 * 1024;

using Handler = httplib::Server::Handler;

// Answers every method but the allowed one with 405, so a wrong method is
// told apart from an unknown path (404).
void RefuseOtherMethods(httplib::Server& server, const std::string& path, bool allowPost)
{
    const Handler refuse = [allowPost](const httplib::Request&, httplib::Response& res) {
        res.status = 405;
        res.set_header("Allow", allowPost ? "POST" : "GET, HEAD");
        res.set_content("Method Not Allowed\n", kText);
    };
    if (allowPost)
        server.Get(path, refuse);
    else
        server.Post(path, refuse);
    server.Put(path, refuse);
    server.Patch(path, refuse);
    server.Delete(path, refuse);
    server.Options(path, refuse);
}

void AddEndpoint(httplib::Server& server, const std::string& path, Handler handler)
{
    server.Post(path, std::move(handler));
    RefuseOtherMethods(server, path, true);
}

void AddPage(httplib::Server& server, const std::string& path, const std::string& html)
{
    server.Get(path, [html](const httplib::Request&, httplib::Response& res) { res.set_content(html, kHtml); });
    RefuseOtherMethods(server, path, false);
}

void Route(httplib::Server& server, const ServiceAnswers& answers, LogFile& log)
{
    // Before routing and before any body is read: the program's forms carry
    // a Content-Length (a chunked body would pass the size limit) and short paths.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.has_header("Transfer-Encoding")) {
            res.status = 411;
            res.set_content("Length Required\n", kText);
        } else if (req.target.size() > kLongestTarget) {
            res.status = 414;
            res.set_content("URI Too Long\n", kText);
        } else {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    AddEndpoint(server, "/velmora/start.php", [&answers](const httplib::Request& req, httplib::Response& res) {
        res.set_content(answers.StartAnswer(req.remote_addr), kText);
    });
    AddEndpoint(server, "/velmora/retrieve.php", [&answers](const httplib::Request& req, httplib::Response& res) {
        // The answer is shared with the served list, not copied for each request.
        std::shared_ptr<const std::string> answer = answers.RetrieveAnswer(req.remote_addr);
        const size_t size = answer->size();
        res.set_content_provider(size, kText, [answer](size_t offset, size_t length, httplib::DataSink& sink) {
            return sink.write(answer->data() + offset, std::min(length, answer->size() - offset));
        });
    });
    AddEndpoint(server, "/tolvane/testurl.txt", [&answers](const httplib::Request&, httplib::Response& res) {
        res.set_content(answers.TestTargetAnswer(), kText);
    });
    AddPage(server, "/", ServiceAnswers::HomePage());
    AddPage(server, "/page/support.html", ServiceAnswers::SupportPage());
    AddPage(server, "/page/proxylist.html", ServiceAnswers::ProxyListPage());
    AddPage(server, "/page/test.html", ServiceAnswers::TestPage());

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(res.status == 404 ? "Not Found\n" : "Error\n", kText);
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, const std::exception_ptr&) {
        res.status = 500;
        res.set_content("Internal Server Error\n", kText);
    });
    // Logged after routing, before the answer is written: a client that has
    // its answer can rely on the request's line being in the log.
    server.set_post_routing_handler([&log](const httplib::Request& req, httplib::Response& res) {
        std::fprintf(stderr, "velmora-service: %s %s %s -> %d (%zu bytes)\n", req.remote_addr.c_str(),
                     LogText(req.method, 10).c_str(), LogText(req.path).c_str(), res.status,
                     res.body.empty() ? res.content_length_ : res.body.size());
        log.KeepUnderCap();
    });
    // The program's forms are a few bytes; refuse anything large.
    server.set_payload_max_length(1024 * 1024);
}

// Loads the country database and the catalogue; without either the proxies keep
// country -1 and the start answer names no country, which the program shows
// as no flag.
void LoadCountries(const ServiceOptions& options, CountryLookup& countries)
{
    std::string error;
    const std::string database = options.geoipFile.empty() ? DefaultLocationDatabasePath() : options.geoipFile;
    if (!countries.LoadDatabase(database, error))
        std::fprintf(stderr, "velmora-service: no countries: %s (Debian package libloc-database)\n", error.c_str());
    const std::string catalogue = options.countriesFile.empty() ? DefaultCataloguePath() : options.countriesFile;
    if (catalogue.empty() || !countries.LoadCatalogue(catalogue, error))
        std::fprintf(stderr, "velmora-service: no country catalogue: %s\n",
                     catalogue.empty() ? "countries.nbx not found, use --countries" : error.c_str());
}

HarvestSettings HarvestSettingsOf(const ServiceOptions& options, const std::string& testTarget)
{
    HarvestSettings settings;
    settings.sources = options.sources;
    settings.intervalSeconds = options.harvestIntervalSeconds;
    settings.verify = options.verify;
    settings.allowPrivate = options.allowPrivate;
    settings.threads = options.threads;
    settings.timeoutSeconds = options.timeoutSeconds;
    settings.connectTimeoutSeconds = options.connectTimeoutSeconds;
    ServiceAnswers::SplitTestTarget(testTarget, settings.testUrl, settings.expect);
    return settings;
}

// Writes the port beside the target and renames it over, so a reader never
// sees a half-written number.
bool WritePortFile(const std::string& path, int port)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << port << '\n';
        if (!file.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
}  // namespace

int main(int argc, char** argv)
{
    ServiceOptions options;
    bool showHelp = false;
    std::string error;
    if (!ParseServiceOptions(argc, argv, options, showHelp, error)) {
        std::fprintf(stderr, "velmora-service: %s\n\n%s", error.c_str(), ServiceUsage());
        return 2;
    }
    if (showHelp) {
        std::fputs(ServiceUsage(), stdout);
        return 0;
    }
    CountryTable table;
    if (options.country.empty() && !options.countryTable.empty() && !table.Load(options.countryTable, error)) {
        std::fprintf(stderr, "velmora-service: %s\n", error.c_str());
        return 2;
    }

    // Block the stop signals in every thread; one thread waits for them and
    // stops the server outside of any signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    LogFile log;
    if (!options.logFile.empty() && !log.Open(options.logFile, kLogCap, error)) {
        std::fprintf(stderr, "velmora-service: %s\n", error.c_str());
        return 1;
    }
    // Slow clients of other users hold at most half the workers, each for
    // the request's deadline at most.
    GuardedServer server(GuardedServer::Limits{});
    // Tests fetch the test page through many proxies at once: enough workers
    // that no request waits behind an idle kept-alive connection, and one
    // request per connection so a worker is never held by an idle client.
    server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server.set_keep_alive_max_count(1);
    const int port = options.port == 0 ? server.bind_to_any_port(kHost)
                                       : (server.bind_to_port(kHost, options.port) ? options.port : -1);
    if (port < 0) {
        std::fprintf(stderr, "velmora-service: cannot listen on %s:%d\n", kHost, options.port);
        return 1;
    }
    CountryLookup countries;
    ServedList served(static_cast<size_t>(options.serveCount));
    PublicAddress publicAddress(options.publicAddressUrl);
    const HarvestSources harvestSources{served, countries, publicAddress};
    std::unique_ptr<Harvester> harvester;
    if (options.Harvesting()) {
        LoadCountries(options, countries);
        options.threads = FitThreadsToOpenFileLimit(options.threads, kAvailabilityTransfersPerJob, "velmora-service");
    }
    ServiceAnswers answers(options, table, port, options.Harvesting() ? &harvestSources : nullptr);
    if (options.Harvesting()) {
        harvester =
            std::make_unique<Harvester>(HarvestSettingsOf(options, answers.TestTargetAnswer()), countries, served);
        // The program asks it why there is no proxy to give; "config" names where sources go.
        server.Get("/velmora/status", [&harvester, &options](const httplib::Request&, httplib::Response& res) {
            res.set_content(harvester->Status() + "config: " + options.configFile + "\n", kText);
        });
        if (options.sources.empty())
            std::fprintf(stderr, "velmora-service: harvest mode without sources: add sources= to %s\n",
                         options.configFile.c_str());
    }
    Route(server, answers, log);
    if (!options.portFile.empty() && !WritePortFile(options.portFile, port)) {
        std::fprintf(stderr, "velmora-service: cannot write %s\n", options.portFile.c_str());
        return 1;
    }
    std::fprintf(stderr, "velmora-service: listening on http://%s:%d\n", kHost, port);

    std::thread([&server, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    }).detach();
    // A service whose program was uninstalled (or upgraded) stops; the next
    // start of Velmora runs the new one, if there is one.
    std::thread([&server] {
        do
            std::this_thread::sleep_for(std::chrono::seconds(5));
        while (!ProgramFileReplaced());
        std::fprintf(stderr, "velmora-service: its program file was removed or replaced; stopping\n");
        if (ProgramFileGone())
            std::fprintf(stderr, "velmora-service: removed after the uninstall:\n%s",
                         RemoveLeftoversOfUninstall().c_str());
        server.stop();
    }).detach();
    if (harvester)
        harvester->Start();
    server.listen_after_bind();
    if (harvester)
        harvester->Stop();
    std::fprintf(stderr, "velmora-service: stopped\n");
    return 0;
}
