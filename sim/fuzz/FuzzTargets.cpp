#include "fuzz/FuzzTargets.h"

#include "common/BenchFile.h"
#include "common/ResourceName.h"
#include "common/ScpiParser.h"
#include "common/VisaPattern.h"
#include "driver/ReplyParser.h"
#include "server/Mainframe.h"

#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

CMainframe& Mainframe() {
    static CSimClock clock(0.0);
    static CMainframe mainframe(clock, BenchInstrument{}, "");
    return mainframe;
}

void ParseReply(std::string_view reply) {
    double reals[3];
    int count = 0;
    int32_t integers[10];
    int32_t number = 0;
    std::string text;
    if (CReplyParser::Reals(reply, reals, 3, count))
        Check(count >= 1 && count <= 3);
    CReplyParser::Integers(reply, integers, 10);
    CReplyParser::NumberAndText(reply, number, text);
}

} // namespace

void FuzzScpi(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    ParseReply(input);
    while (!input.empty()) {
        size_t nl = input.find('\n');
        std::string_view line = input.substr(0, nl);
        std::vector<ScpiCommand> commands;
        if (CScpiParser::Parse(line, commands) == 0) {
            for (const ScpiCommand& c : commands)
                Check(!c.header.empty());
        }
        SimResponse r = Mainframe().Execute(line);
        if (r.reply) {
            // A reply is one line: a line end inside it would answer the next query.
            Check(r.reply->find_first_of("\r\n") == std::string::npos);
            ParseReply(*r.reply);
        }
        input = nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    }
}

void FuzzBench(const uint8_t* data, size_t size) {
    std::string error;
    std::optional<CBenchFile> bench =
        CBenchFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!bench) {
        Check(error.rfind("line ", 0) == 0 || error.find("4 MiB") != std::string::npos);
        return;
    }
    std::string written = bench->Write();
    std::optional<CBenchFile> again = CBenchFile::Parse(written, error);
    Check(again && again->Write() == written);
}

void FuzzVisaNames(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t nl = input.find('\n');
    std::string_view expr = input.substr(0, nl);
    std::string_view name = nl == std::string_view::npos ? input : input.substr(nl + 1);
    if (std::optional<CVisaPattern> p = CVisaPattern::Compile(expr))
        p->Matches(name);
    if (std::optional<CResourceName> parsed = CResourceName::Parse(name)) {
        std::optional<CResourceName> again = CResourceName::Parse(parsed->Canonical());
        Check(again && again->Canonical() == parsed->Canonical());
    }
}
