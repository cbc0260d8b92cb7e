// The driver-backed instrument through the real stand-in driver library, loaded with dlopen,
// against a simulator the suite starts; and against small drivers of our own for what the
// stand-in never does (unterminated texts, a missing entry point).
#include "SimProcess.h"
#include "core/Discovery.h"
#include "core/DriverInstrument.h"

#include <QtTest>

#include <dlfcn.h>

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

class TestDriverInstrument : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void operationsReachTheMainframe();
    void errorQueueAfterACall();
    void selfTestIgnoresTheErrorQueue();
    void timeOutThenRecovery();
    void droppedLinkThenRecovery();
    void resetPairsReachTheSimulator();
    void statusTexts();
    void unterminatedTextsAreCut();
    void missingEntryPointFailsConstruction();
    void sessionOnAnUnusableDriverIsClosed();

private:
    // A raw line to the mainframe, carried out when this returns; its reply, if any.
    std::string Raw(const std::string& line);
    long HistogramSum(int code);

    std::unique_ptr<CSimProcess> m_sim;
    std::unique_ptr<CDriverInstrument> m_inst;
};

std::string TestDriverInstrument::Raw(const std::string& line) {
    CRawClient client(m_sim->Port("mainframe"));
    if (line.find('?') != std::string::npos) {
        return client.Query(line);
    }
    // SIMulate lines are followed by the one query a hung mainframe still answers.
    return client.Query(line + (line.rfind("SIM", 0) == 0 ? ";SIM:SPE?" : ";*OPC?"));
}

long TestDriverInstrument::HistogramSum(int code) {
    const std::int32_t* counts = m_inst->GetHistogram(static_cast<short>(code), 0);
    return std::accumulate(counts, counts + 10, 0L);
}

void TestDriverInstrument::initTestCase() {
    m_sim = std::make_unique<CSimProcess>(CSimProcess::DefaultBench());
    QVERIFY2(m_sim->Start(), m_sim->ListeningLine().c_str());
    qputenv("KSM7720_BENCH", QByteArray::fromStdString(m_sim->ResolvedBench()));
}

void TestDriverInstrument::init() {
    m_inst.reset();
    Raw("SIM:RES");
    Raw("*CLS;*RST");
    m_inst = Open(DRIVER_LIBRARY);
    QVERIFY(m_inst != nullptr);
}

void TestDriverInstrument::operationsReachTheMainframe() {
    const double* levels = m_inst->GetLevel(3, 0); // OUT3: front, middle and rear
    QVERIFY(levels[0] > 200 && levels[0] < levels[2] && levels[2] < 550);
    QCOMPARE(m_inst->GetLastStatus(), 0);

    m_inst->SetTimeUnits(kTimeUnitSeconds);
    QCOMPARE(m_inst->GetTimeUnits(), kTimeUnitSeconds);
    QCOMPARE(Raw("HIST:TUN?"), std::string("19"));
    const std::int32_t* lows = m_inst->GetHistogram(42, 1);
    QVERIFY(lows[0] < lows[9]);

    m_inst->SetLimit(5, 544.5);
    QCOMPARE(Raw("LIM? 5"), std::string("544.5"));
    m_inst->SetMessage("He said \"hi\"");
    QCOMPARE(Raw("DISP:TEXT?"), std::string("\"He said \"\"hi\"\"\""));
    m_inst->SaveSettings();
    m_inst->Reset();
    QCOMPARE(Raw("DISP:TEXT?"), std::string("\"\""));
}

void TestDriverInstrument::errorQueueAfterACall() {
    Raw("SIM:ERR 3");
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->GetLevel(3, 0));
    QCOMPARE(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    QCOMPARE(QString(m_inst->GetErrorText()),
             QStringLiteral("Device-specific error; injected fault 1 of 3"));
    int code = 0;
    QCOMPARE(QString(m_inst->QueryError(&code)),
             QStringLiteral("Device-specific error; injected fault 2 of 3"));
    QCOMPARE(code, -300);
    m_inst->QueryError(&code);
    QCOMPARE(QString(m_inst->GetErrorText()),
             QStringLiteral("Device-specific error; injected fault 3 of 3"));
    m_inst->QueryError(&code);
    QCOMPARE(code, 0);
    QCOMPARE(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED); // queries leave it alone

    // The text is sent even though the queue already held an error.
    Raw("SIM:ERR 1");
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->SetMessage("sent anyway"));
    QCOMPARE(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    QCOMPARE(Raw("DISP:TEXT?"), std::string("\"sent anyway\""));
}

void TestDriverInstrument::selfTestIgnoresTheErrorQueue() {
    Raw("SIM:ERR 1");
    int result = -1;
    QCOMPARE(QString(m_inst->SelfTest(&result)), QStringLiteral("Self test passed"));
    QCOMPARE(result, 0);
    int code = 0;
    m_inst->QueryError(&code);
    QCOMPARE(code, -300); // still queued
}

void TestDriverInstrument::timeOutThenRecovery() {
    m_inst = Open(DRIVER_LIBRARY, 200);
    Raw("SIM:HANG 0");
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->GetLevel(3, 0));
    QCOMPARE(m_inst->GetLastStatus(), VI_ERROR_TMO);
    Raw("SIM:RES");
    m_inst->GetLevel(3, 0);
    QCOMPARE(m_inst->GetLastStatus(), 0);
}

void TestDriverInstrument::droppedLinkThenRecovery() {
    Raw("SIM:DROP");
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->Reset());
    QCOMPARE(m_inst->GetLastStatus(), kConnectionLost);
    m_inst->Reset();
    QCOMPARE(m_inst->GetLastStatus(), 0);

    Raw("SIM:FAIL 1");
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->GetTimeUnits());
    QCOMPARE(m_inst->GetLastStatus(), kInvalidResponse);
}

void TestDriverInstrument::resetPairsReachTheSimulator() {
    Raw("HIST:TUN 19");
    Raw("SIM:ADV 600");
    m_inst->ResetHistory("VOLT", "BLOW2"); // a blower name wins over any keyword: 51
    QCOMPARE(HistogramSum(51), 0L);
    QVERIFY(HistogramSum(50) > 0);
    m_inst->ResetHistory("CURRENT", "N2"); // 41, not the power of N2 (33)
    QCOMPARE(HistogramSum(41), 0L);
    QVERIFY(HistogramSum(33) > 0);
    m_inst->ResetHistory("ALL", "");
    QCOMPARE(HistogramSum(33), 0L);

    // A pair that names nothing is sent as 1000, which the mainframe refuses.
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, m_inst->ResetHistory("TEMP", "Ambient"));
    QCOMPARE(m_inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
    QCOMPARE(QString(m_inst->GetErrorText()), QStringLiteral("Data out of range"));
}

void TestDriverInstrument::statusTexts() {
    QCOMPARE(QString(m_inst->GetStatusText(kInvalidResponse)),
             QStringLiteral("Instrument returned an invalid response."));
    QCOMPARE(m_inst->GetLastStatus(), 0);
    const QString timeOut(m_inst->GetStatusText(VI_ERROR_TMO));
    QVERIFY2(timeOut.contains(QStringLiteral("time"), Qt::CaseInsensitive), qPrintable(timeOut));
}

void TestDriverInstrument::unterminatedTextsAreCut() {
    m_inst = Open(STUB_DRIVER_FULL);
    QVERIFY(m_inst != nullptr);
    int result = 0;
    QCOMPARE(QString(m_inst->SelfTest(&result)), QString(255, u'S'));
    QCOMPARE(result, -2); // the driver's 16-bit result, sign-extended
    int code = 7;
    QCOMPARE(QString(m_inst->QueryError(&code)), QString(255, u'E'));
    QCOMPARE(code, 0);
    QCOMPARE(QString(m_inst->GetErrorText()), QString(255, u'E'));
    QCOMPARE(QString(m_inst->GetStatusText(-5)), QString(255, u'M'));
    QCOMPARE(m_inst->GetStatusText(1), nullptr);
    QCOMPARE(m_inst->GetLastStatus(), -1);
    m_inst->SetMessage(nullptr);
}

void TestDriverInstrument::missingEntryPointFailsConstruction() {
    m_inst.reset();
    platform::LibraryHandle library = platform::LoadLibrary(STUB_DRIVER_PARTIAL);
    QVERIFY(library != nullptr);
    // The eleven others are there, so the lookup ends at the last one, ksm7720_setMessage.
    QVERIFY(platform::GetProcAddress(library, "ksm7720_NVMem") != nullptr);
    QVERIFY_THROWS_EXCEPTION(CInstrumentException, CDriverInstrument(1, library));
    // The library is still loaded: the failed construction did not release it.
    void* again = ::dlopen(STUB_DRIVER_PARTIAL, RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(again != nullptr);
    ::dlclose(again);
    platform::FreeLibrary(library);
}

// Discovery opened a session, then found the driver lacking an entry point: the session is
// closed with the driver's close function, not leaked.
void TestDriverInstrument::sessionOnAnUnusableDriverIsClosed() {
    CDiscovery discovery({VISA_LIBRARY}, {STUB_DRIVER_PARTIAL});
    QVERIFY(!discovery.Open());
    const auto connection = discovery.Connect("VXI0::24::INSTR", false);
    QVERIFY(connection.failure == DiscoveryFailure::BadDriver);
    void* stub = ::dlopen(STUB_DRIVER_PARTIAL, RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(stub != nullptr);
    const auto closed = reinterpret_cast<std::uint32_t (*)()>(::dlsym(stub, "stub_closed_session"));
    QCOMPARE(closed(), 1u); // the session the stub's init made
    ::dlclose(stub);
}

QTEST_MAIN(TestDriverInstrument)
#include "tst_driverinstrument.moc"
