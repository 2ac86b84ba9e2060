// The start answer's markers: what EvaluateStartAnswer stores and shows.
#include <cctype>
#include <cstring>
#include <string>

#include "data/countrycatalogue.h"
#include "fuzzsupport.h"
#include "service/startrequest.h"

namespace {

class RecordingUi : public IStartAnswerUi {
public:
    void ShowUnreachable() override { ++unreachable; }
    void ShowPushMessage(const PushMessage& message) override
    {
        ++pushed;
        last = message;
    }
    void RequestExit() override { ++exits; }

    int unreachable = 0, pushed = 0, exits = 0;
    PushMessage last;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzWorkDir();  // the country catalogue comes from there
    const std::string answer(reinterpret_cast<const char*>(data), size);
    std::strcpy(realAddress, "");
    realCountry = -1;
    RecordingUi ui;
    EvaluateStartAnswer(answer, ui);

    if (answer.empty()) {
        FUZZ_CHECK(ui.unreachable == 1 && ui.exits == 1 && ui.pushed == 0);
        return 0;
    }
    FUZZ_CHECK(ui.unreachable == 0 && ui.pushed <= 1);
    if (ui.pushed) {
        FUZZ_CHECK(answer.find("MsgStart") != std::string::npos);
        FUZZ_CHECK(answer.find("MsgEnd") != std::string::npos);
        FUZZ_CHECK(ui.last.type >= 1 && ui.last.type <= 4);
        FUZZ_CHECK(ui.last.body.size() <= 255 && ui.last.caption.size() <= 255);
    }
    FUZZ_CHECK(std::memchr(realAddress, '\0', sizeof realAddress) != nullptr);
    for (const char* c = realAddress; *c; ++c)
        FUZZ_CHECK(std::isdigit(static_cast<unsigned char>(*c)) || *c == '.');
    FUZZ_CHECK(realCountry >= -1 && realCountry < GetCountryCatalogue().Count());
    if (realCountry >= 0) {
        const size_t at = answer.find("CountryCode:");
        FUZZ_CHECK(at != std::string::npos);
        FUZZ_CHECK(answer.compare(at + 12, 2, GetCountryCatalogue().EntryAt(realCountry)->code) == 0);
    }
    return 0;
}
