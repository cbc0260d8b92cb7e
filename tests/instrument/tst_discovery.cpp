// The first steps of discovery: finding the two outside libraries, and the emulated
// instrument whenever one is missing.
#include "SimProcess.h"
#include "app/SfpApp.h"
#include "instrument/DiscoverInstrument.h"
#include "instrument/EmulatedInstrument.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QtTest>

class TestDiscovery : public QObject {
    Q_OBJECT
private slots:
    void missingVisaLibrary();
    void missingDriverLibrary();
    void bothLibrariesFound();
    void existingInstrumentIsKept();
    void searchStopsWhereTheListEnds();
    void panelCallsOnlyInitAndTimeOutOnItsOwnSession();
};

namespace {
constexpr const char* kMissing = "libsfp-no-such-library.so";

void ExpectEmulated(const CSfpApp& app) {
    QVERIFY(dynamic_cast<CEmulatedInstrument*>(app.m_pInstrument.get()) != nullptr);
    QCOMPARE(app.m_statusColor, platform::Rgb(64, 64, 64));
    QCOMPARE(app.m_instrumentName, QStringLiteral("Emulated"));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}
} // namespace

void TestDiscovery::missingVisaLibrary() {
    platform::MessageBoxRecorder boxes;
    CSfpApp app;
    app.m_visaLibraryName = kMissing;
    app.m_driverLibraryName = LOADABLE_B;
    QVERIFY(app.DiscoverInstrument());
    QCOMPARE(boxes.Boxes(), std::vector<QString>{LoadStr(IDS_NO_VISA_DLL)});
    QCOMPARE(boxes.Boxes().front(),
             QStringLiteral("Could not find VISA.DLL.  Coming up in emulation mode."));
    ExpectEmulated(app);
}

void TestDiscovery::missingDriverLibrary() {
    platform::MessageBoxRecorder boxes;
    CSfpApp app;
    app.m_visaLibraryName = LOADABLE_A;
    app.m_driverLibraryName = kMissing;
    QVERIFY(app.DiscoverInstrument());
    QCOMPARE(boxes.Boxes(),
             std::vector<QString>{QStringLiteral("Could not find the instrument driver dll.  SFP "
                                                 "coming up in emulation mode.")});
    ExpectEmulated(app);
}

// A VISA library without the functions discovery calls counts as a missing one.
void TestDiscovery::bothLibrariesFound() {
    platform::MessageBoxRecorder boxes;
    CSfpApp app;
    app.m_visaLibraryName = LOADABLE_A;
    app.m_driverLibraryName = LOADABLE_B;
    QVERIFY(app.DiscoverInstrument());
    QCOMPARE(boxes.Boxes(), std::vector<QString>{LoadStr(IDS_NO_VISA_DLL)});
    ExpectEmulated(app);
}

void TestDiscovery::existingInstrumentIsKept() {
    platform::MessageBoxRecorder boxes;
    CSfpApp app;
    app.m_visaLibraryName = kMissing;
    app.m_pInstrument = std::make_unique<CInstrument>();
    CInstrument* before = app.m_pInstrument.get();
    QVERIFY(!app.DiscoverInstrument());
    QCOMPARE(app.m_pInstrument.get(), before);
    QVERIFY(boxes.Boxes().empty());
    QVERIFY(app.m_instrumentName.isEmpty());
}

// A broken VISA library whose search claims four billion matches but whose list ends
// at the first: discovery stops where the list ends instead of spinning.
namespace brokenvisa {
int findNextCalls = 0;
visa::ViStatus FindRsrc(visa::ViSession, const char*, visa::ViFindList* list, visa::ViUInt32* count,
                        char desc[]) {
    *list = 1;
    *count = 4000000000u;
    std::snprintf(desc, 256, "GPIB0::1::INSTR");
    return 0;
}
visa::ViStatus FindNext(visa::ViFindList, char*) {
    ++findNextCalls;
    return -1073807343; // no more resources
}
visa::ViStatus Open(visa::ViSession, const char*, visa::ViAccessMode, visa::ViUInt32,
                    visa::ViSession*) {
    return -1;
}
visa::ViStatus Close(visa::ViObject) {
    return 0;
}
} // namespace brokenvisa

void TestDiscovery::searchStopsWhereTheListEnds() {
    visa::VisaEntryPoints vi;
    vi.findRsrc = brokenvisa::FindRsrc;
    vi.findNext = brokenvisa::FindNext;
    vi.open = brokenvisa::Open;
    vi.close = brokenvisa::Close;
    const auto candidates = FindCandidates(vi, 1, true);
    QVERIFY(candidates.has_value());
    QVERIFY(candidates->empty());
    QCOMPARE(brokenvisa::findNextCalls, 1);
}

namespace {
QStringList RecordedCalls(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? QString(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList{};
}
} // namespace

// The panel's road into the driver: ksm7720_init without the identification query and,
// when it opened the mainframe, ksm7720_timeOut on the session it made; after a failed
// init the box alone, no call with a session the driver never made. Its VISA calls: each
// resource probed as the search returns it, not after the whole list was fetched and closed.
void TestDiscovery::panelCallsOnlyInitAndTimeOutOnItsOwnSession() {
    CSimProcess sim(CSimProcess::DefaultBench());
    QVERIFY2(sim.Start(), sim.ListeningLine().c_str());
    const std::string record = sim.Dir() + "/record", visaRecord = sim.Dir() + "/visa-record";
    qputenv("KSM7720_BENCH", QByteArray::fromStdString(sim.ResolvedBench()));
    qputenv("KSM7720_RECORD", QByteArray::fromStdString(record));
    qputenv("KSM7720_VISA_RECORD", QByteArray::fromStdString(visaRecord));
    struct Case {
        QString commandLine;
        std::vector<QString> boxes;
        QStringList calls; // S: the session ksm7720_init made
        QString visaCalls; // '|' between calls; the last two closes: the find list, the manager
    };
    const QStringList opened{"ksm7720_init S id=0", "ksm7720_timeOut S 12000"};
    const std::vector<Case> cases{
        {"-a GPIB0::5::INSTR",
         {LoadStr(IDS_INIT_FAILED)},
         {"ksm7720_init 0 id=0"},
         "viOpenDefaultRM|viClose"},
        {"-a VXI0::24::INSTR", {}, opened, "viOpenDefaultRM|viClose"},
        {"",
         {},
         opened,
         "viOpenDefaultRM|viFindRsrc|viOpen VXI0::24::INSTR|viGetAttribute|viGetAttribute|"
         "viGetAttribute|viClose|viFindNext|viOpen GPIB0::9::INSTR|viGetAttribute|viWrite|viRead|"
         "viClose|viFindNext|viOpen ASRL1::INSTR|viGetAttribute|viClose|viClose|viClose"},
    };
    for (const Case& c : cases) {
        std::remove(record.c_str());
        std::remove(visaRecord.c_str());
        {
            platform::MessageBoxRecorder boxes;
            CSfpApp app;
            app.m_visaLibraryName = RECORDING_VISA;
            app.m_driverLibraryName = RECORDING_DRIVER;
            app.m_commandLine = c.commandLine;
            QVERIFY(app.DiscoverInstrument());
            QCOMPARE(boxes.Boxes(), c.boxes);
        } // the panel ends, releasing the driver library
        const QStringList calls = RecordedCalls(record);
        const QString session = calls.value(0).section(' ', 1, 1);
        QCOMPARE(calls, QStringList(c.calls).replaceInStrings(" S ", " " + session + " "));
        QCOMPARE(RecordedCalls(visaRecord), c.visaCalls.split('|'));
    }
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
