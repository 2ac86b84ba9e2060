#include "serviceanswers.h"

#include <fstream>
#include <iterator>

#include "addressfilter.h"
#include "countrylookup.h"
#include "publicaddress.h"
#include "servedlist.h"

bool ReadWholeFile(const std::string& path, std::string& content)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

ServiceAnswers::ServiceAnswers(const ServiceOptions& serviceOptions, const CountryTable& countries, int boundPort,
                               const HarvestSources* harvestSources)
    : options_(serviceOptions), table_(countries), port_(boundPort), harvest_(harvestSources)
{}

void ServiceAnswers::HarvestCaller(const std::string& callerAddress, std::string& address, std::string& country) const
{
    // A caller on loopback or a private network is not what the world sees:
    // ask the public address page, if there is one, else name no address so
    // that the program shows its own.
    uint32_t number = 0;
    address = ParseIpv4(callerAddress, number) && !IsSpecialPurposeAddress(number) ? callerAddress
                                                                                   : harvest_->publicAddress.Get();
    country = options_.country;
    if (country.empty() && ParseIpv4(address, number))
        country = harvest_->countries.CodeOf(number);
}

std::string ServiceAnswers::StartAnswer(const std::string& callerAddress) const
{
    std::string answer;
    if (!options_.startAnswerFile.empty()) {
        ReadWholeFile(options_.startAnswerFile, answer);  // missing file: an empty answer
        return answer;
    }
    std::string address = callerAddress;
    std::string country;
    if (harvest_) {
        // A program starting: its first Get Proxy brings the fastest proxies again.
        harvest_->served.BeginTurn(callerAddress);
        HarvestCaller(callerAddress, address, country);
    } else
        country = !options_.country.empty() ? options_.country : table_.Lookup(callerAddress);
    answer = "Velmora service\r\n";
    if (!address.empty())
        answer += "IPAddress:" + address + "\r\n";
    if (!country.empty())
        answer += "CountryCode:" + country + "\r\n";
    if (!options_.message.empty()) {
        answer += "MsgType:" + std::to_string(options_.messageType) + "\r\n";
        if (options_.hasMessageCaption)
            answer += "MsgCapStart" + options_.messageCaption + "MsgCapEnd\r\n";
        answer += "MsgStart" + options_.message + "MsgEnd\r\n";
    }
    return answer;
}

std::shared_ptr<const std::string> ServiceAnswers::RetrieveAnswer(const std::string& callerAddress) const
{
    if (harvest_)
        return harvest_->served.Answer(callerAddress);
    std::string list;
    if (options_.proxiesFile.empty() || !ReadWholeFile(options_.proxiesFile, list)
        || list.find_first_not_of("\r\n") == std::string::npos)
        list = "Empty";
    return std::make_shared<const std::string>(std::move(list));
}

std::string ServiceAnswers::TestTargetAnswer() const
{
    if (!options_.testTarget.empty())
        return options_.testTarget;
    return "http://127.0.0.1:" + std::to_string(port_) + "/page/test.html|engine|";
}

void ServiceAnswers::SplitTestTarget(const std::string& target, std::string& url, std::string& text)
{
    const size_t bar = target.find('|');
    url = target.substr(0, bar);
    text.clear();
    if (bar != std::string::npos) {
        const size_t end = target.find('|', bar + 1);
        text = target.substr(bar + 1, end == std::string::npos ? end : end - bar - 1);
    }
}

namespace {
std::string Page(const std::string& title, const std::string& body)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n<body><h1>"
           + title + "</h1>\n" + body + "\n</body></html>\n";
}
}  // namespace

std::string ServiceAnswers::HomePage()
{
    return Page("Velmora", "<p>Velmora finds working SOCKS proxies and hides your IP address.</p>\n"
                           "<p><a href=\"/page/support.html\">Support</a> | "
                           "<a href=\"/page/proxylist.html\">Proxy lists</a></p>");
}

std::string ServiceAnswers::SupportPage()
{
    return Page("Velmora support", "<p>Questions and answers about Velmora.</p>\n"
                                   "<p><a href=\"/\">Home</a></p>");
}

std::string ServiceAnswers::ProxyListPage()
{
    return Page("Proxy lists", "<p>Fresh SOCKS proxy lists, tested every hour.</p>\n"
                               "<p><a href=\"/\">Home</a></p>");
}

std::string ServiceAnswers::TestPage()
{
    return Page("Test page", "<p>This page is served by the Velmora test engine.</p>");
}
