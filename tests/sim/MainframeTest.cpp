// The simulated mainframe in-process, on a clock that only moves when told.

#include "server/Mainframe.h"
#include "server/Device.h"
#include "server/ErrorQueue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

namespace {

std::string Reply(CSimInstrument& inst, const std::string& line) {
    return inst.Execute(line).reply.value_or("<none>");
}

std::vector<long> Numbers(const std::string& text) {
    std::vector<long> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stol(item));
    return out;
}

class Mainframe : public ::testing::Test {
protected:
    BenchInstrument Config(uint32_t seed = 1) {
        BenchInstrument c;
        c.seed = seed;
        return c;
    }
    CSimClock clock{0.0};
    CMainframe mf{clock, Config(), ""};
};

TEST(ErrorQueue, KeepsThirtyAndMarksTheOverflow) {
    CErrorQueue q;
    for (int i = 0; i < 29; ++i)
        q.Push(-300);
    q.Push(-222);
    EXPECT_EQ(q.Count(), 30u);
    q.Push(-113);
    q.Push(-113);
    EXPECT_EQ(q.Count(), 30u);
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(q.Pop().code, -300);
    CErrorQueue::Entry last = q.Pop();
    EXPECT_EQ(last.code, -350);
    EXPECT_EQ(last.text, "Queue overflow");
    EXPECT_EQ(q.Pop().text, "No error");
}

TEST_F(Mainframe, AnswersQueriesEvenWhenTheirParametersAreWrong) {
    EXPECT_EQ(Reply(mf, "MEAS:LEV? 34"), "0");
    EXPECT_EQ(Reply(mf, "MEAS:LEV? abc"), "0");
    EXPECT_EQ(Reply(mf, "MEAS:LEV?"), "0");
    EXPECT_EQ(Reply(mf, "MEAS:LEV? 3,1"), "0");
    EXPECT_EQ(Reply(mf, "MEAS:LEV? 3.5"), "0");
    EXPECT_EQ(Reply(mf, "HIST:DATA? 1e9,0"), "0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(Reply(mf, "LIM? 49"), "0");
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), "-222,\"Data out of range\"");
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), "-104,\"Data type error\"");
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), "-109,\"Missing parameter\"");
    EXPECT_EQ(Reply(mf, "SYST:ERR:COUNT?"), "4");
    EXPECT_EQ(Reply(mf, "*CLS;SYST:ERR:COUN?"), "0");

    EXPECT_EQ(Reply(mf, "NOPE?"), "<none>");
    EXPECT_EQ(Reply(mf, "*IDN"), "<none>"); // *IDN without '?' is no command
    EXPECT_EQ(Reply(mf, "*IDN? 5"), "KORVALD-SYSTEMS,M7720,SIM0001,A.01.00");
    EXPECT_EQ(Reply(mf, "SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-113,\"Undefined header; NOPE\";-113,\"Undefined header; *IDN\";"
              "-108,\"Parameter not allowed\"");
}

TEST_F(Mainframe, ReadingsHaveTheCatalogueShape) {
    EXPECT_EQ(Numbers(Reply(mf, "MEAS:LEV? 25")).size(), 3u); // DELT12: front, middle, rear
    EXPECT_EQ(Numbers(Reply(mf, "MEAS:LEV? 26")).size(), 1u); // AMBIENT
    long p5mv = Numbers(Reply(mf, "MEAS:LEV? 42"))[0];
    long p5ma = Numbers(Reply(mf, "MEAS:LEV? 35"))[0];
    long p5mw = Numbers(Reply(mf, "MEAS:LEV? 27"))[0];
    EXPECT_NEAR(p5mw, p5mv * p5ma / 1000.0, 100);
    EXPECT_LT(Numbers(Reply(mf, "MEAS:LEV? 41"))[0], 0); // N2 current
    EXPECT_LT(Numbers(Reply(mf, "MEAS:LEV? 48"))[0], 0); // N2 voltage
    EXPECT_GT(Numbers(Reply(mf, "MEAS:LEV? 33"))[0], 0); // N2 power
}

TEST_F(Mainframe, ASeedMakesReadingsRepeatable) {
    CSimClock otherClock{0.0};
    CMainframe same{otherClock, Config(1), ""};
    CMainframe different{otherClock, Config(2), ""};
    std::string line = "MEAS:LEV? 3;MEAS:LEV? 44;MEAS:LEV? 50";
    EXPECT_EQ(Reply(mf, line), Reply(same, line));
    EXPECT_NE(Reply(mf, line), Reply(different, line));
    std::string before = Reply(mf, line);
    Reply(mf, "SIM:ADV 90");
    EXPECT_NE(Reply(mf, line), before); // values move with time
}

TEST_F(Mainframe, HistoriesAccumulateAndReset) {
    Reply(mf, "HIST:TUN 19;SIM:ADV 3600");
    std::vector<long> seconds = Numbers(Reply(mf, "HIST:DATA? 50,0"));
    EXPECT_NEAR(std::accumulate(seconds.begin(), seconds.end(), 0L), 3600, 10);
    EXPECT_GT(std::count_if(seconds.begin(), seconds.end(), [](long s) { return s > 0; }), 1);
    Reply(mf, "HIST:TUN 17");
    std::vector<long> hours = Numbers(Reply(mf, "HIST:DATA? 50,0"));
    EXPECT_LE(std::accumulate(hours.begin(), hours.end(), 0L), 1);
    EXPECT_EQ(Reply(mf, "HIST:DATA? 52,0;HIST:DATA? 52,1").substr(0, 9), "0,0,0,0,0");

    Reply(mf, "HIST:TUN 19;HIST:RES 50");
    EXPECT_EQ(Reply(mf, "HIST:DATA? 50,0"), "0,0,0,0,0,0,0,0,0,0");
    EXPECT_NE(Reply(mf, "HIST:DATA? 51,0"), "0,0,0,0,0,0,0,0,0,0");
    Reply(mf, "LIM 26,1;MEAS:LEV? 26");
    EXPECT_EQ(Reply(mf, "HIST:QUE:COUN?"), "1");
    Reply(mf, "HIST:RES 53");
    EXPECT_EQ(Reply(mf, "HIST:QUE:COUN?"), "0");
    EXPECT_NE(Reply(mf, "HIST:DATA? 51,0"), "0,0,0,0,0,0,0,0,0,0");
    Reply(mf, "HIST:RES 54");
    EXPECT_EQ(Reply(mf, "HIST:DATA? 51,0"), "0,0,0,0,0,0,0,0,0,0");
    Reply(mf, "HIST:TUN 16");
    EXPECT_EQ(Reply(mf, "HIST:TUN?"), "19");
}

TEST_F(Mainframe, DisplayTakesFortyPrintableCharacters) {
    Reply(mf, "DISP:TEXT \"" + std::string(40, 'x') + "\"");
    EXPECT_EQ(Reply(mf, "DISP:TEXT?"), "\"" + std::string(40, 'x') + "\"");
    Reply(mf, "DISP:TEXT \"" + std::string(41, 'y') + "\"");
    Reply(mf, std::string("DISP:TEXT \"a\x01") + "\"");
    Reply(mf, "DISP:TEXT \"Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC\""); // UTF-8, 11 bytes
    EXPECT_EQ(Reply(mf, "DISP:TEXT?"), "\"" + std::string(40, 'x') + "\"");
    const std::string rule = "the display takes at most 40 printable ASCII characters; ";
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), "-223,\"Too much data; " + rule + "this text holds 41\"");
    const std::string other =
        "-151,\"Invalid string data; " + rule + "this text holds other characters\"";
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), other);
    EXPECT_EQ(Reply(mf, "SYST:ERR?"), other);
}

TEST_F(Mainframe, SavedSettingsOutliveTheProcessAndSurviveReset) {
    std::string dir = ::testing::TempDir() + "/mainframe-state";
    std::filesystem::create_directories(dir);
    std::string path = dir + "/mf.state";
    std::filesystem::remove(path);
    {
        CMainframe first{clock, Config(), path};
        Reply(first, "LIM 7,612.25;HIST:TUN 18;SYST:NVM:SAVE;LIM 7,1;*RST");
        EXPECT_EQ(Reply(first, "LIM? 7"), "612.25");
    }
    {
        CMainframe second{clock, Config(), path};
        EXPECT_EQ(Reply(second, "LIM? 7;HIST:TUN?"), "612.25;18");
        Reply(second, "LIM 8,1;SIM:FACT"); // back to the factory's, saved ones too
        EXPECT_EQ(Reply(second, "LIM? 7;LIM? 8;HIST:TUN?"), "550;550;17");
    }
    CMainframe restarted{clock, Config(), path};
    EXPECT_EQ(Reply(restarted, "LIM? 7;HIST:TUN?"), "550;17");

    CMainframe unwritable{clock, Config(), dir + "/no/such/dir/mf.state"};
    Reply(unwritable, "SYST:NVM:SAVE");
    EXPECT_EQ(Reply(unwritable, "SYST:ERR?").substr(0, 28), "-250,\"Mass storage error; ca");
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A damaged state file silently replaced by the factory settings at the next save, or an
// earlier damaged file replaced by a later one.
TEST_F(Mainframe, DamagedStateFileIsReportedAndKept) {
    std::string dir = ::testing::TempDir() + "/mainframe-damaged";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/mf.state";
    const std::string damaged[] = {
        "timeunit 18\nlimit 34 5\n", // a code that names nothing
        "timeunit 18\n",             // cut short
        "",                          // empty
        "timeunit 18 extra\n",
        "\x01\x02garbage",
    };
    int n = 0;
    for (const std::string& text : damaged) {
        std::ofstream(path) << text;
        ::testing::internal::CaptureStderr();
        CMainframe mf{clock, Config(), path};
        const std::string report = ::testing::internal::GetCapturedStderr();
        const std::string aside = path + ".damaged" + (n++ ? "." + std::to_string(n) : "");
        EXPECT_NE(report.find(path + ": saved settings damaged"), std::string::npos) << report;
        EXPECT_NE(report.find("kept as " + aside), std::string::npos) << report;
        EXPECT_EQ(Reply(mf, "LIM? 7;HIST:TUN?"), "550;17");
        Reply(mf, "SYST:NVM:SAVE");
        EXPECT_EQ(FileText(aside), text);
    }
    CMainframe loads{clock, Config(), path};
    EXPECT_EQ(Reply(loads, "SYST:ERR?"), "0,\"No error\"");
}

// A save that rewrites the file in place (a reader or a crash sees half of it), that
// writes through a fixed temporary name another writer may be using, or a second mainframe
// on the same state file that overwrites the first one's settings.
TEST_F(Mainframe, SaveReplacesTheStateFileWhole) {
    std::string dir = ::testing::TempDir() + "/mainframe-atomic";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/mf.state";
    CMainframe mf{clock, Config(), path};
    Reply(mf, "SYST:NVM:SAVE");
    const std::string before = FileText(path);
    std::filesystem::create_hard_link(path, dir + "/reader");
    std::ofstream(path + ".tmp") << "another writer's";
    Reply(mf, "LIM 7,612.25;SYST:NVM:SAVE");
    EXPECT_EQ(FileText(dir + "/reader"), before);
    EXPECT_NE(FileText(path).find("limit 7 612.25\n"), std::string::npos);
    EXPECT_EQ(FileText(path + ".tmp"), "another writer's");

    const std::string saved = FileText(path);
    ::testing::internal::CaptureStderr();
    CMainframe second{clock, Config(), path};
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find(path + " is in use by another simulator"), std::string::npos);
    EXPECT_EQ(Reply(second, "LIM? 7"), "612.25");
    Reply(second, "LIM 7,1;SYST:NVM:SAVE;SIM:FACT");
    EXPECT_EQ(FileText(path), saved);
    // The state file, its lock file, the reader's link and the other writer's file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4);
}

TEST_F(Mainframe, FaultInjection) {
    Reply(mf, "SIM:FAIL 2");
    EXPECT_EQ(Reply(mf, "*OPC?"), "FAIL");
    EXPECT_EQ(Reply(mf, "*RST"), "FAIL");
    EXPECT_EQ(Reply(mf, "*OPC?"), "1");
    Reply(mf, "SIM:HANG 0");
    EXPECT_EQ(Reply(mf, "*OPC?"), "<none>");
    Reply(mf, "sim:resume");
    EXPECT_EQ(Reply(mf, "*OPC?"), "1");
    EXPECT_TRUE(mf.Execute("SIM:DROP").dropAll);
    Reply(mf, "SIM:ERR 0;SIM:SPEED -1;SIM:BOGUS");
    EXPECT_EQ(Reply(mf, "SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-222,\"Data out of range\";-222,\"Data out of range\";"
              "-113,\"Undefined header; SIM:BOGUS\"");
}

TEST(Device, ForeignInstrumentAndSilentPort) {
    CSimClock clock{0.0};
    BenchInstrument config;
    config.kind = BenchInstrument::Kind::Device;
    config.idn = "ACME,X,1,2";
    CDevice device{clock, config};
    EXPECT_EQ(Reply(device, "*IDN?"), "ACME,X,1,2");
    EXPECT_EQ(Reply(device, "MEAS:LEV? 3"), "<none>");
    config.kind = BenchInstrument::Kind::Silent;
    CDevice silent{clock, config};
    EXPECT_EQ(Reply(silent, "*IDN?"), "<none>");
}

} // namespace
