// The driver-backed instrument through the real stand-in driver library, loaded with dlopen,
// against a simulator the suite starts; and against small drivers of our own for what the
// stand-in never does (unterminated texts, a missing entry point).
#include "core/DriverInstrument.h"
#include "SimProcess.h"
#include "core/Discovery.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <numeric>

namespace {

constexpr InstrumentStatus kConnectionLost = static_cast<std::int32_t>(0xBFFF00A6u);
constexpr InstrumentStatus kInvalidResponse = static_cast<std::int32_t>(0xBFFC0012u);

// Opens a resource through the driver library at path, as discovery does, with a short
// time-out, and builds the instrument on it.
std::unique_ptr<CDriverInstrument> Open(const char* path, int timeoutMs = 1000) {
    platform::LibraryHandle library = platform::LoadLibrary(path);
    if (library == nullptr) {
        return nullptr;
    }
    auto init = platform::GetProc<ksm7720::InitFn>(library, "ksm7720_init");
    auto timeOut = platform::GetProc<ksm7720::TimeOutFn>(library, "ksm7720_timeOut");
    char name[] = "VXI0::24::INSTR";
    ksm7720::ViSession handle = 0;
    if (init == nullptr || timeOut == nullptr || init(name, 0, 0, &handle) < 0) {
        platform::FreeLibrary(library);
        return nullptr;
    }
    timeOut(handle, timeoutMs);
    return std::make_unique<CDriverInstrument>(handle, library);
}

} // namespace

class DriverInstrument : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench());
        ASSERT_TRUE(s_sim->Start()) << s_sim->ListeningLine();
        ::setenv("KSM7720_BENCH", s_sim->ResolvedBench().c_str(), 1);
    }
    static void TearDownTestSuite() { s_sim.reset(); }

    void SetUp() override {
        ASSERT_NE(s_sim, nullptr);
        Raw("SIM:RES");
        Raw("*CLS;*RST");
        m_inst = Open(DRIVER_LIBRARY);
        ASSERT_NE(m_inst, nullptr);
    }

    // A raw line to the mainframe, carried out when this returns; its reply, if any.
    static std::string Raw(const std::string& line) {
        CRawClient client(s_sim->Port("mainframe"));
        if (line.find('?') != std::string::npos) {
            return client.Query(line);
        }
        // SIMulate lines are followed by the one query a hung mainframe still answers.
        return client.Query(line + (line.rfind("SIM", 0) == 0 ? ";SIM:SPE?" : ";*OPC?"));
    }

    long HistogramSum(int code) {
        const std::int32_t* counts = m_inst->GetHistogram(static_cast<short>(code), 0);
        return std::accumulate(counts, counts + 10, 0L);
    }

    static std::unique_ptr<CSimProcess> s_sim;
    std::unique_ptr<CDriverInstrument> m_inst;
};

std::unique_ptr<CSimProcess> DriverInstrument::s_sim;

TEST_F(DriverInstrument, OperationsReachTheMainframe) {
    const double* levels = m_inst->GetLevel(3, 0); // OUT3: front, middle and rear
    EXPECT_TRUE(levels[0] > 200 && levels[0] < levels[2] && levels[2] < 550);
    EXPECT_EQ(m_inst->GetLastStatus(), 0);

    m_inst->SetTimeUnits(kTimeUnitSeconds);
    EXPECT_EQ(m_inst->GetTimeUnits(), kTimeUnitSeconds);
    EXPECT_EQ(Raw("HIST:TUN?"), "19");
    const std::int32_t* lows = m_inst->GetHistogram(42, 1);
    EXPECT_TRUE(lows[0] < lows[9]);

    m_inst->SetLimit(5, 544.5);
    EXPECT_EQ(Raw("LIM? 5"), "544.5");
    m_inst->SetMessage("He said \"hi\"");
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"He said \"\"hi\"\"\"");
    m_inst->SaveSettings();
    m_inst->Reset();
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"\"");
}

TEST_F(DriverInstrument, ErrorQueueAfterACall) {
    Raw("SIM:ERR 3");
    EXPECT_THROW(m_inst->GetLevel(3, 0), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    EXPECT_STREQ(m_inst->GetErrorText(), "Device-specific error; injected fault 1 of 3");
    int code = 0;
    EXPECT_STREQ(m_inst->QueryError(&code), "Device-specific error; injected fault 2 of 3");
    EXPECT_EQ(code, -300);
    m_inst->QueryError(&code);
    EXPECT_STREQ(m_inst->GetErrorText(), "Device-specific error; injected fault 3 of 3");
    m_inst->QueryError(&code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED); // queries leave it alone

    // The text is sent even though the queue already held an error.
    Raw("SIM:ERR 1");
    EXPECT_THROW(m_inst->SetMessage("sent anyway"), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    EXPECT_EQ(Raw("DISP:TEXT?"), "\"sent anyway\"");
}

TEST_F(DriverInstrument, SelfTestIgnoresTheErrorQueue) {
    Raw("SIM:ERR 1");
    int result = -1;
    EXPECT_STREQ(m_inst->SelfTest(&result), "Self test passed");
    EXPECT_EQ(result, 0);
    int code = 0;
    m_inst->QueryError(&code);
    EXPECT_EQ(code, -300); // still queued
}

TEST_F(DriverInstrument, TimeOutThenRecovery) {
    m_inst = Open(DRIVER_LIBRARY, 200);
    Raw("SIM:FAIL 1");
    EXPECT_THROW(m_inst->GetTimeUnits(), CInstrumentException);
    Raw("SIM:HANG 0");
    // A failed error query keeps its status apart: the last status stays the last call's.
    int code = 0;
    EXPECT_EQ(m_inst->QueryError(&code), nullptr);
    EXPECT_EQ(m_inst->GetLastStatus(), kInvalidResponse);
    EXPECT_EQ(m_inst->LastQueryStatus(), VI_ERROR_TMO);
    EXPECT_THROW(m_inst->GetLevel(3, 0), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), VI_ERROR_TMO);
    Raw("SIM:RES");
    m_inst->GetLevel(3, 0);
    EXPECT_EQ(m_inst->GetLastStatus(), 0);
}

TEST_F(DriverInstrument, DroppedLinkThenRecovery) {
    Raw("SIM:DROP");
    EXPECT_THROW(m_inst->Reset(), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), kConnectionLost);
    m_inst->Reset();
    EXPECT_EQ(m_inst->GetLastStatus(), 0);

    Raw("SIM:FAIL 1");
    EXPECT_THROW(m_inst->GetTimeUnits(), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), kInvalidResponse);
}

TEST_F(DriverInstrument, ResetPairsReachTheSimulator) {
    Raw("HIST:TUN 19");
    Raw("SIM:ADV 600");
    m_inst->ResetHistory("VOLT", "BLOW2"); // a blower name wins over any keyword: 51
    EXPECT_EQ(HistogramSum(51), 0L);
    EXPECT_TRUE(HistogramSum(50) > 0);
    m_inst->ResetHistory("CURRENT", "N2"); // 41, not the power of N2 (33)
    EXPECT_EQ(HistogramSum(41), 0L);
    EXPECT_TRUE(HistogramSum(33) > 0);
    m_inst->ResetHistory("ALL", "");
    EXPECT_EQ(HistogramSum(33), 0L);

    // A pair that names nothing is sent as 1000, which the mainframe refuses.
    EXPECT_THROW(m_inst->ResetHistory("TEMP", "Ambient"), CInstrumentException);
    EXPECT_EQ(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    EXPECT_STREQ(m_inst->GetErrorText(), "Data out of range");
}

TEST_F(DriverInstrument, StatusTexts) {
    EXPECT_STREQ(m_inst->GetStatusText(kInvalidResponse),
                 "Instrument returned an invalid response.");
    EXPECT_EQ(m_inst->GetLastStatus(), 0);
    std::string timeOut = m_inst->GetStatusText(VI_ERROR_TMO);
    std::transform(timeOut.begin(), timeOut.end(), timeOut.begin(), ::tolower);
    EXPECT_NE(timeOut.find("time"), std::string::npos) << timeOut;
}

TEST_F(DriverInstrument, UnterminatedTextsAreCut) {
    m_inst = Open(STUB_DRIVER_FULL);
    ASSERT_NE(m_inst, nullptr);
    int result = 0;
    EXPECT_EQ(std::string(m_inst->SelfTest(&result)), std::string(255, 'S'));
    EXPECT_EQ(result, -2); // the driver's 16-bit result, sign-extended
    int code = 7;
    EXPECT_EQ(std::string(m_inst->QueryError(&code)), std::string(255, 'E'));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::string(m_inst->GetErrorText()), std::string(255, 'E'));
    EXPECT_EQ(std::string(m_inst->GetStatusText(-5)), std::string(255, 'M'));
    EXPECT_EQ(m_inst->GetStatusText(1), nullptr);
    EXPECT_EQ(m_inst->GetLastStatus(), -1);
    m_inst->SetMessage(nullptr);
}

TEST_F(DriverInstrument, MissingEntryPointFailsConstruction) {
    m_inst.reset();
    platform::LibraryHandle library = platform::LoadLibrary(STUB_DRIVER_PARTIAL);
    ASSERT_NE(library, nullptr);
    // The eleven others are there, so the lookup ends at the last one, ksm7720_setMessage.
    ASSERT_NE(platform::GetProcAddress(library, "ksm7720_NVMem"), nullptr);
    EXPECT_THROW(CDriverInstrument(1, library), CInstrumentException);
    // The library is still loaded: the failed construction did not release it.
    void* again = ::dlopen(STUB_DRIVER_PARTIAL, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(again, nullptr);
    ::dlclose(again);
    platform::FreeLibrary(library);
}

// Discovery opened a session, then found the driver lacking an entry point: the session is
// closed with the driver's close function, not leaked.
TEST_F(DriverInstrument, SessionOnAnUnusableDriverIsClosed) {
    CDiscovery discovery({VISA_LIBRARY}, {STUB_DRIVER_PARTIAL});
    ASSERT_FALSE(discovery.Open());
    const auto connection = discovery.Connect("VXI0::24::INSTR");
    EXPECT_EQ(connection.failure, DiscoveryFailure::BadDriver);
    void* stub = ::dlopen(STUB_DRIVER_PARTIAL, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(stub, nullptr);
    const auto closed = reinterpret_cast<std::uint32_t (*)()>(::dlsym(stub, "stub_closed_session"));
    EXPECT_EQ(closed(), 1u); // the session the stub's init made
    ::dlclose(stub);
}
