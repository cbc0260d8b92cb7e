// The stand-in VISA library through dlopen against a live simulator.

#include "LiveBench.h"

#include <signal.h>

#include <cstring>
#include <vector>

namespace {

class LiveVisa : public LiveBench {
protected:
    void SetUp() override {
        LiveBench::SetUp();
        ASSERT_EQ(lib.OpenDefaultRM(&rm), VI_SUCCESS);
    }
    void TearDown() override { lib.Close(rm); }

    ViSession Open(const char* name) {
        ViSession vi = VI_NULL;
        EXPECT_EQ(lib.Open(rm, name, VI_NULL, VI_NULL, &vi), VI_SUCCESS) << name;
        return vi;
    }

    ViStatus Query(ViSession vi, const char* text, std::string& reply, ViUInt32 size = 256) {
        ViUInt32 count = 0;
        ViStatus status = lib.Write(vi, reinterpret_cast<ViConstBuf>(text),
                                    static_cast<ViUInt32>(std::strlen(text)), &count);
        if (status < VI_SUCCESS)
            return status;
        std::vector<ViByte> buf(size);
        status = lib.Read(vi, buf.data(), size, &count);
        reply.assign(reinterpret_cast<char*>(buf.data()), count);
        return status;
    }

    // How many resources the expression finds, or the failing status.
    long Count(const char* expr) {
        ViFindList list = VI_NULL;
        ViUInt32 count = 99;
        char desc[VI_FIND_BUFLEN];
        ViStatus status = lib.FindRsrc(rm, expr, &list, &count, desc);
        if (status < VI_SUCCESS) {
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(list, ViFindList{VI_NULL});
            return status;
        }
        lib.Close(list);
        return count;
    }

    ViSession rm = VI_NULL;
};

TEST_F(LiveVisa, ListsEveryInstrumentAndQueriesIdentity) {
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char desc[VI_FIND_BUFLEN];
    ASSERT_EQ(lib.FindRsrc(rm, "?*INSTR", &list, &count, desc), VI_SUCCESS);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(desc, "VXI0::24::INSTR");
    EXPECT_EQ(lib.FindNext(list, desc), VI_SUCCESS);
    EXPECT_STREQ(desc, "GPIB0::9::INSTR");
    EXPECT_EQ(lib.FindNext(list, desc), VI_SUCCESS);
    EXPECT_STREQ(desc, "ASRL1::INSTR");
    EXPECT_EQ(lib.FindNext(list, desc), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(lib.Close(list), VI_SUCCESS);

    // As discovery probes: the five bytes "*IDN?" without a line end, then up to 100 bytes.
    std::string reply;
    ViSession mainframe = Open("VXI0::24::INSTR");
    EXPECT_EQ(Query(mainframe, "*IDN?", reply, 100), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply.rfind("KORVALD-SYSTEMS,M772", 0), 0u) << reply;
    ViSession gpib = Open("GPIB0::9::INSTR");
    EXPECT_EQ(Query(gpib, "*IDN?", reply, 100), VI_SUCCESS_TERM_CHAR);
    EXPECT_NE(reply.rfind("KORVALD-SYSTEMS,M772", 0), 0u) << reply;
    EXPECT_EQ(reply.back(), '\n');
    EXPECT_EQ(lib.Close(gpib), VI_SUCCESS);
    EXPECT_EQ(lib.Close(gpib), VI_ERROR_INV_OBJECT);
}

TEST_F(LiveVisa, SearchExpressionGrammar) {
    const struct {
        const char* expr;
        long count;
    } cases[] = {
        {"?*INSTR", 3},
        {"?*", 3},
        {"VXI?*", 1},
        {"gpib?*instr", 1},
        {"GPIB[0-9]::?*", 1},
        {"[^V]?*INSTR", 2},
        {"(VXI|ASRL)?*", 2},
        {"VXI0::2+4::INSTR", 1},
        {"A*SRL1::INSTR", 1},
        {"ASRL1\\:\\:INSTR", 1},
        {"?*::[0-9]*::INSTR", 2},
        {"VXI0::24::INSTR|GPIB?*", 2},
        {"TCPIP?*", VI_ERROR_RSRC_NFOUND},
        {"VXI", VI_ERROR_RSRC_NFOUND},
        {"[", VI_ERROR_INV_EXPR},
        {"(VXI", VI_ERROR_INV_EXPR},
        {"*INSTR", VI_ERROR_INV_EXPR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Count(c.expr), c.count) << c.expr;
    EXPECT_EQ(lib.FindRsrc(rm, nullptr, nullptr, nullptr, nullptr), VI_ERROR_INV_EXPR);
}

TEST_F(LiveVisa, ResourceNamesAreParsedAsVisaParsesThem) {
    for (const char* name : {"VXI0::24::INSTR", "vxi0::24::instr", "VXI::24", "VXI0::024"}) {
        ViSession vi = Open(name);
        char text[VI_FIND_BUFLEN];
        EXPECT_EQ(lib.GetAttribute(vi, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
        EXPECT_STREQ(text, "VXI0::24::INSTR") << name;
        lib.Close(vi);
    }
    lib.Close(Open("GPIB::9"));
    lib.Close(Open("GPIB0::9::3::INSTR")); // the device ignores secondary addressing

    ViSession vi = VI_NULL;
    EXPECT_EQ(lib.Open(rm, "VXI0::25::INSTR", 0, 0, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(lib.Open(rm, "VXI0::x::INSTR", 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(lib.Open(rm, "PXI0::1::INSTR", 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(lib.Open(rm, nullptr, 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(vi, ViSession{VI_NULL});

    ViUInt16 type = 0, board = 9;
    char cls[VI_FIND_BUFLEN], expanded[VI_FIND_BUFLEN], alias[VI_FIND_BUFLEN];
    ASSERT_EQ(lib.ParseRsrcEx(rm, "gpib::9", &type, &board, cls, expanded, alias), VI_SUCCESS);
    EXPECT_EQ(type, VI_INTF_GPIB);
    EXPECT_EQ(board, 0);
    EXPECT_STREQ(cls, "INSTR");
    EXPECT_STREQ(expanded, "GPIB0::9::INSTR");
    EXPECT_STREQ(alias, "");
}

TEST_F(LiveVisa, AttributesWriteExactlyTheirTypeSize) {
    auto get16 = [&](ViSession vi, ViAttr attr, ViStatus& status) {
        unsigned char raw[8];
        std::memset(raw, 0xAA, sizeof raw);
        status = lib.GetAttribute(vi, attr, raw);
        for (int i = 2; i < 8; ++i)
            EXPECT_EQ(raw[i], 0xAA) << "attribute " << std::hex << attr << " byte " << i;
        ViUInt16 value;
        std::memcpy(&value, raw, 2);
        return value;
    };
    ViStatus status;
    ViSession vxi = Open("VXI0::24::INSTR");
    EXPECT_EQ(get16(vxi, VI_ATTR_INTF_TYPE, status), VI_INTF_VXI);
    EXPECT_EQ(get16(vxi, VI_ATTR_MANF_ID, status), 3372);
    EXPECT_EQ(get16(vxi, VI_ATTR_MODEL_CODE, status), 2861);
    EXPECT_EQ(status, VI_SUCCESS);
    ViSession gpib = Open("GPIB0::9::INSTR");
    EXPECT_EQ(get16(gpib, VI_ATTR_INTF_TYPE, status), VI_INTF_GPIB);
    get16(gpib, VI_ATTR_MANF_ID, status);
    EXPECT_EQ(status, VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(get16(Open("ASRL1::INSTR"), VI_ATTR_INTF_TYPE, status), VI_INTF_ASRL);

    unsigned char raw[8];
    std::memset(raw, 0xAA, sizeof raw);
    ASSERT_EQ(lib.SetAttribute(vxi, VI_ATTR_TMO_VALUE, 1234), VI_SUCCESS);
    ASSERT_EQ(lib.GetAttribute(vxi, VI_ATTR_TMO_VALUE, raw), VI_SUCCESS);
    ViUInt32 tmo;
    std::memcpy(&tmo, raw, 4);
    EXPECT_EQ(tmo, 1234u);
    EXPECT_EQ(raw[4], 0xAA);
    EXPECT_EQ(lib.SetAttribute(vxi, VI_ATTR_INTF_TYPE, 1), VI_ERROR_ATTR_READONLY);
    EXPECT_EQ(lib.SetAttribute(vxi, 0x3FFF0999, 1), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(lib.SetAttribute(vxi, VI_ATTR_TERMCHAR_EN, 7), VI_ERROR_NSUP_ATTR_STATE);
}

TEST_F(LiveVisa, ReadsEndAtNewlineOrFullBuffer) {
    ViSession vi = Open("VXI0::24::INSTR");
    std::string first, second;
    EXPECT_EQ(Query(vi, "*IDN?\n", first, 10), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(first.size(), 10u);
    ViByte buf[256];
    ViUInt32 count = 0;
    EXPECT_EQ(lib.Read(vi, buf, sizeof buf, &count), VI_SUCCESS_TERM_CHAR);
    second.assign(reinterpret_cast<char*>(buf), count);
    EXPECT_EQ(first + second, "KORVALD-SYSTEMS,M7720,SIM0001,A.01.00\n");
    EXPECT_EQ(lib.Read(vi, nullptr, 10, &count), VI_ERROR_USER_BUF);
}

TEST_F(LiveVisa, ReadTimesOutWithinItsTimeOut) {
    ViSession serial = Open("ASRL1::INSTR"); // nothing attached: never answers
    ASSERT_EQ(lib.SetAttribute(serial, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    std::string reply;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Query(serial, "*IDN?", reply), VI_ERROR_TMO);
    double ms = MillisecondsSince(start);
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 1500);
    EXPECT_TRUE(reply.empty());
}

TEST_F(LiveVisa, DroppedLinkFailsOnceThenReconnects) {
    ViSession vi = Open("VXI0::24::INSTR");
    std::string reply;
    ASSERT_EQ(Query(vi, "*OPC?", reply), VI_SUCCESS_TERM_CHAR);
    Raw("SIM:DROP");
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_ERROR_CONN_LOST);
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(reply, "1\n");
}

TEST_F(LiveVisa, KilledFrozenAndRestartedSimulator) {
    ViSession vi = Open("VXI0::24::INSTR");
    ASSERT_EQ(lib.SetAttribute(vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    std::string reply;
    sim->Signal(SIGSTOP);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_ERROR_TMO);
    EXPECT_LT(MillisecondsSince(start), 1500);
    sim->Signal(SIGCONT);
    lib.Clear(vi);

    sim->Signal(SIGKILL);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_ERROR_CONN_LOST);
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_ERROR_CONN_LOST);
    EXPECT_LT(MillisecondsSince(start), 1500);

    ASSERT_TRUE(sim->Start()); // new ports, same resolved bench file
    EXPECT_EQ(Query(vi, "*OPC?", reply), VI_SUCCESS_TERM_CHAR);
}

TEST_F(LiveVisa, EventsStatusTextsAndStaleHandles) {
    ViSession vi = Open("GPIB0::9::INSTR");
    EXPECT_EQ(lib.DisableEvent(vi, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS_EVENT_DIS);
    EXPECT_EQ(lib.DiscardEvents(vi, VI_EVENT_SERVICE_REQ, VI_QUEUE), VI_SUCCESS_QUEUE_EMPTY);
    EXPECT_EQ(lib.DisableEvent(vi, VI_ALL_ENABLED_EVENTS, 0), VI_ERROR_INV_MECH);
    char text[VI_FIND_BUFLEN];
    EXPECT_EQ(lib.StatusDesc(vi, VI_ERROR_TMO, text), VI_SUCCESS);
    EXPECT_NE(std::strstr(text, "VI_ERROR_TMO"), nullptr);
    EXPECT_EQ(lib.StatusDesc(vi, 0x12345, text), VI_WARN_UNKNOWN_STATUS);

    EXPECT_EQ(lib.Close(rm), VI_SUCCESS); // closes the sessions opened through it
    ViUInt32 count = 7;
    EXPECT_EQ(lib.Write(vi, reinterpret_cast<ViConstBuf>("x"), 1, &count), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(lib.Close(VI_NULL), VI_WARN_NULL_OBJECT);
    EXPECT_EQ(lib.OpenDefaultRM(&rm), VI_SUCCESS);
}

TEST_F(LiveVisa, WithoutABenchTheResourceManagerFails) {
    ViSession other = 5;
    ::unsetenv("KSM7720_BENCH");
    EXPECT_EQ(lib.OpenDefaultRM(&other), VI_ERROR_INV_SETUP);
    EXPECT_EQ(other, ViSession{VI_NULL});
    std::string garbage = sim->Dir() + "/garbage.bench";
    FILE* f = std::fopen(garbage.c_str(), "w");
    std::fputs("resource nonsense\n", f);
    std::fclose(f);
    ::setenv("KSM7720_BENCH", garbage.c_str(), 1);
    EXPECT_EQ(lib.OpenDefaultRM(&other), VI_ERROR_INV_SETUP);
}

TEST(LiveBenchFile, TwoMainframesKeepTheirOwnState) {
    CSimProcess sim("instrument a mainframe serial=A1\n"
                    "instrument b mainframe serial=B2 blowers=3\n"
                    "resource VXI0::24 a intf=VXI manf=3372 model=2861\n"
                    "resource GPIB-VXI0::32 b intf=GPIB-VXI manf=3372 model=2861\n");
    ASSERT_TRUE(sim.Start()) << sim.ListeningLine();
    ::setenv("KSM7720_BENCH", sim.ResolvedBench().c_str(), 1);
    StandIns& lib = StandIns::Get();
    ViSession a = VI_NULL, b = VI_NULL;
    ASSERT_EQ(lib.init(const_cast<ViRsrc>("VXI0::24::INSTR"), VI_TRUE, VI_FALSE, &a), VI_SUCCESS);
    ASSERT_EQ(lib.init(const_cast<ViRsrc>("GPIB-VXI0::32::INSTR"), VI_TRUE, VI_FALSE, &b),
              VI_SUCCESS);
    ASSERT_EQ(lib.setLimit(a, 50, 1.0), VI_SUCCESS);
    ViReal64 levels[3];
    ASSERT_EQ(lib.getLevel_Q(b, 52, 0, levels), VI_SUCCESS);
    EXPECT_GT(levels[0], 2000); // b has its third blower fitted
    ASSERT_EQ(lib.getLevel_Q(b, 50, 0, levels), VI_SUCCESS);
    ASSERT_EQ(lib.getLevel_Q(a, 50, 0, levels), VI_SUCCESS);
    ViInt32 code = 0;
    char text[256];
    ASSERT_EQ(lib.error_query(b, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(lib.error_query(a, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 201);
}

} // namespace
