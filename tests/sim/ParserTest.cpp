// The parsers of outside input: SCPI lines, VISA resource names, search expressions and
// bench files.

#include "common/BenchFile.h"
#include "common/ResourceName.h"
#include "common/ScpiParser.h"
#include "common/VisaPattern.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(ScpiParser, SplitsCommandsAndParameters) {
    std::vector<ScpiCommand> cmds;
    ASSERT_EQ(CScpiParser::Parse(" :LIM 3, 4.5 ;*OPC?", cmds), 0);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].header, "LIM");
    EXPECT_FALSE(cmds[0].query);
    EXPECT_EQ(cmds[0].args, (std::vector<std::string>{"3", "4.5"}));
    EXPECT_EQ(cmds[1].header, "*OPC");
    EXPECT_TRUE(cmds[1].query);

    ASSERT_EQ(CScpiParser::Parse("DISP:TEXT \"a;b,\"\"c\"\"\"", cmds), 0);
    EXPECT_EQ(cmds[0].args, (std::vector<std::string>{"a;b,\"c\""}));
    ASSERT_EQ(CScpiParser::Parse("DISP:TEXT 'it''s'", cmds), 0);
    EXPECT_EQ(cmds[0].args[0], "it's");
    ASSERT_EQ(CScpiParser::Parse("", cmds), 0);
    EXPECT_TRUE(cmds.empty());
}

TEST(ScpiParser, RejectsMalformedLines) {
    std::vector<ScpiCommand> cmds;
    EXPECT_EQ(CScpiParser::Parse("DISP:TEXT \"open", cmds), -151);
    EXPECT_EQ(CScpiParser::Parse("LIM 3,,4", cmds), -102);
    EXPECT_EQ(CScpiParser::Parse("LIM 3,", cmds), -102);
    EXPECT_EQ(CScpiParser::Parse("A;;B", cmds), -102);
    EXPECT_EQ(CScpiParser::Parse("MEAS::LEV?", cmds), -102);
    EXPECT_EQ(CScpiParser::Parse("?", cmds), -102);
    EXPECT_EQ(CScpiParser::Parse(std::string("M\0AS?", 5), cmds), -101);
    EXPECT_EQ(CScpiParser::Parse("DISP:TEXT \"a\"b", cmds), -102);
    EXPECT_TRUE(cmds.empty());
}

TEST(ScpiParser, MatchesLongShortAndOptionalNodes) {
    EXPECT_TRUE(CScpiParser::Matches("MEASure:LEVel", "MEAS:LEV"));
    EXPECT_TRUE(CScpiParser::Matches("MEASure:LEVel", "measure:level"));
    EXPECT_FALSE(CScpiParser::Matches("MEASure:LEVel", "MEASU:LEV"));
    EXPECT_FALSE(CScpiParser::Matches("MEASure:LEVel", "MEAS"));
    EXPECT_TRUE(CScpiParser::Matches("SYSTem:ERRor[:NEXT]", "SYST:ERR"));
    EXPECT_TRUE(CScpiParser::Matches("SYSTem:ERRor[:NEXT]", "syst:err:next"));
    EXPECT_FALSE(CScpiParser::Matches("SYSTem:ERRor[:NEXT]", "SYST:ERR:COUN"));
    EXPECT_TRUE(CScpiParser::Matches("*IDN", "*idn"));
    EXPECT_EQ(CScpiParser::Quote("a\"b"), "\"a\"\"b\"");
}

TEST(ResourceName, SpellingsOfOneResourceShareTheirCanonicalName) {
    const std::pair<const char*, const char*> cases[] = {
        {"VXI0::24::INSTR", "VXI0::24::INSTR"},
        {"vxi::24", "VXI0::24::INSTR"},
        {"VXI0::024::instr", "VXI0::24::INSTR"},
        {"GPIB::9", "GPIB0::9::INSTR"},
        {"GPIB1::9::2::INSTR", "GPIB1::9::2::INSTR"},
        {"gpib-vxi2::128", "GPIB-VXI2::128::INSTR"},
        {"ASRL1::INSTR", "ASRL1::INSTR"},
        {"asrl", "ASRL0::INSTR"},
    };
    for (auto [text, canonical] : cases) {
        std::optional<CResourceName> name = CResourceName::Parse(text);
        ASSERT_TRUE(name) << text;
        EXPECT_EQ(name->Canonical(), canonical);
    }
    for (const char* bad : {"", "::INSTR", "VXI0", "VXI0::", "VXI0::24::1::INSTR", "PXI0::1",
                            "GPIB0::x::INSTR", "GPIB0::9::INSTR::INSTR", "VXI99999::1",
                            "VXI0::1234567890", "ASRL1::2::INSTR", "TCPIP0::h::5025::SOCKET"})
        EXPECT_FALSE(CResourceName::Parse(bad)) << bad;
}

TEST(VisaPattern, GrammarAndCaseInsensitivity) {
    auto matches = [](const char* expr, const char* name) {
        std::optional<CVisaPattern> p = CVisaPattern::Compile(expr);
        EXPECT_TRUE(p) << expr;
        return p && p->Matches(name);
    };
    EXPECT_TRUE(matches("?*INSTR", "VXI0::24::INSTR"));
    EXPECT_FALSE(matches("?*INSTR", "VXI0::24::INSTRX"));
    EXPECT_TRUE(matches("?*instr", "GPIB0::9::INSTR"));
    EXPECT_TRUE(matches("GPIB[0-3]::?*", "GPIB2::1::INSTR"));
    EXPECT_FALSE(matches("GPIB[^0-3]::?*", "GPIB2::1::INSTR"));
    EXPECT_TRUE(matches("[a-c]SRL?", "ASRL1"));
    EXPECT_TRUE(matches("(GPIB|VXI)0+::?*", "VXI00::1"));
    EXPECT_FALSE(matches("VXI0+::1", "VXI::1"));
    EXPECT_TRUE(matches("VXI0*::1", "VXI::1"));
    EXPECT_TRUE(matches("a\\*b", "A*B"));
    EXPECT_TRUE(matches("[]a]", "]"));
    EXPECT_TRUE(matches("x|", ""));
    for (const char* bad : {"*", "+a", "(a", "a)", "[ab", "a\\", "]", "(*)"})
        EXPECT_FALSE(CVisaPattern::Compile(bad)) << bad;
    EXPECT_FALSE(CVisaPattern::Compile(std::string(2000, 'a')));
    EXPECT_FALSE(CVisaPattern::Compile(std::string(100, '(') + "a" + std::string(100, ')')));
}

TEST(VisaPattern, NestedRepetitionStaysLinear) {
    std::optional<CVisaPattern> p = CVisaPattern::Compile("((a*)*)*(a|aa)*b");
    ASSERT_TRUE(p);
    std::string name(20000, 'a');
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p->Matches(name));
    EXPECT_TRUE(p->Matches(name + "b"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(BenchFile, ParsesWritesAndReadsBack) {
    std::string error;
    std::optional<CBenchFile> bench = CBenchFile::Parse(
        "# comment\n"
        "instrument mf mainframe seed=7 blowers=3 uptime=10000 serial=\"SN 1\" # x\n"
        "instrument dev device idn=\"ACME,\\\"Q\\\",1\" port=5025\r\n"
        "\n"
        "resource vxi::24 mf intf=VXI manf=3372 model=2861\n"
        "resource GPIB::9 dev\n",
        error);
    ASSERT_TRUE(bench) << error;
    ASSERT_EQ(bench->instruments.size(), 2u);
    EXPECT_EQ(bench->instruments[0].seed, 7u);
    EXPECT_EQ(bench->instruments[0].blowers, 3);
    EXPECT_EQ(bench->instruments[0].serial, "SN 1");
    EXPECT_EQ(bench->instruments[0].uptime, 10000);
    EXPECT_EQ(bench->instruments[1].uptime, 0);
    EXPECT_EQ(bench->instruments[1].idn, "ACME,\"Q\",1");
    EXPECT_EQ(bench->instruments[1].port, 5025);
    ASSERT_EQ(bench->resources.size(), 2u);
    EXPECT_EQ(bench->resources[0].name, "VXI0::24::INSTR");
    EXPECT_EQ(bench->resources[0].model, 2861);
    EXPECT_EQ(bench->resources[1].intf, 1); // taken from the name when not given

    std::optional<CBenchFile> again = CBenchFile::Parse(bench->Write(), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->Write(), bench->Write());
}

// A full bench (4,096 instruments with the longest names and texts, 4,096 resources): the
// resolved bench the simulator writes of it must load again (a file limit too small for it
// would leave the VISA library unable to read the simulator's own file), and one more
// instrument or resource is refused with its line. Catches limits lowered again, a size
// limit that no longer fits what Write makes, and duplicates missed by the name index.
TEST(BenchFile, AFullBenchReadsBackAndOneMoreIsRefused) {
    auto fullBench = [](size_t idnLength) {
        std::string text;
        for (int i = 0; i < 4096; ++i)
            text += "instrument " + std::string(27, 'd') + std::to_string(10000 + i) +
                    " device port=65535 seed=4294967295 idn=\"" + std::string(2 * idnLength, '\\') +
                    "\"\n";
        for (int i = 0; i < 4096; ++i)
            text += "resource GPIB-VXI" + std::to_string(i / 256) + "::" + std::to_string(i % 256) +
                    " " + std::string(27, 'd') + std::to_string(10000 + i) +
                    " intf=GPIB-VXI manf=65535 model=65535\n";
        return text;
    };
    std::string error;
    std::optional<CBenchFile> bench = CBenchFile::Parse(fullBench(255), error);
    ASSERT_TRUE(bench) << error;
    std::optional<CBenchFile> again = CBenchFile::Parse(bench->Write(), error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->instruments.size(), 4096u);
    EXPECT_EQ(again->resources.back().name, "GPIB-VXI15::255::INSTR");

    const std::string text = fullBench(1);
    const std::string first = std::string(27, 'd') + "10000";
    const std::pair<std::string, std::string> cases[] = {
        {"instrument extra mainframe\n", "line 8193: too many instruments"},
        {"resource VXI0::1 " + first + "\n", "line 8193: too many resources"},
        {"resource GPIB-VXI15::255 " + first + "\n",
         "line 8193: resource GPIB-VXI15::255::INSTR defined twice"},
    };
    for (const auto& [line, message] : cases) {
        EXPECT_FALSE(CBenchFile::Parse(text + line, error)) << line;
        EXPECT_EQ(error, message);
    }
}

TEST(BenchFile, ReportsTheLineOfAMistake) {
    const std::pair<const char*, const char*> cases[] = {
        {"instrument a mainframe\ninstrument a device\n", "line 2: instrument a defined twice"},
        {"resource VXI0::1 nobody\n", "line 1: unknown instrument nobody"},
        {"instrument a mainframe blowers=4\n", "line 1: blowers must be 1 to 3"},
        {"instrument a mainframe port=65536\n", "line 1: bad port"},
        {"instrument a mainframe uptime=-1\n", "line 1: uptime must be 0 to 10000 hours"},
        {"instrument a mainframe uptime=10001\n", "line 1: uptime must be 0 to 10000 hours"},
        {"instrument a device uptime=5 idn=x\n", "line 1: unknown option uptime"},
        {"instrument a device idn=\"open\n", "line 1: unterminated quote"},
        {"instrument a mainframe\nresource XYZ a\n", "line 2: bad resource name XYZ"},
        {"instrument a mainframe\nresource VXI::1 a intf=USB\n",
         "line 2: intf must be GPIB, VXI, GPIB-VXI or ASRL"},
        {"instrument a toaster\n", "line 1: unknown instrument kind toaster"},
        {"frobnicate\n", "line 1: unknown keyword frobnicate"},
        {"instrument a mainframe idn=x\n", "line 1: unknown option idn"},
    };
    for (auto [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(CBenchFile::Parse(text, error)) << text;
        EXPECT_EQ(error, message);
    }
}

} // namespace
