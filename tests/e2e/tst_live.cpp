// The whole program's start-up with discovery running on the stand-in VISA and driver
// libraries against a simulator: every road from the command line to a live or emulated
// panel; and discovery's rules for switches, names, identification and the choice.
#include "SimProcess.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "core/DriverInstrument.h"
#include "histogram/Pan1Form.h"
#include "instrument/CommandLineSwitches.h"
#include "instrument/DiscoverInstrument.h"
#include "instrument/EmulatedInstrument.h"
#include "instrument/SelectInstrumentDlg.h"
#include "panels/Panel.h"
#include "platform/DialogBuilder.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "controls/ColorLabel.h"

#include <functional>
#include <memory>

namespace {

const platform::ColorRef kLive = platform::Rgb(0, 255, 0);
const platform::ColorRef kEmulated = platform::Rgb(64, 64, 64);

const std::string kMainframe = "instrument mainframe mainframe\n";
const std::string kVxi24 = "resource VXI0::24::INSTR mainframe intf=VXI manf=3372 model=2861\n";

// One start of the program. A Select Instrument dialog that opens is handed to onDialog, or
// cancelled when there is none; what it listed is kept.
struct LiveStart {
    explicit LiveStart(const QString& commandLine,
                       std::function<void(CSelectInstrumentDlg&)> onDialog = {}) {
        app.m_visaLibraryName = VISA_LIBRARY;
        app.m_driverLibraryName = DRIVER_LIBRARY;
        app.m_commandLine = commandLine;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<CSelectInstrumentDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->isHidden()) {
                return;
            }
            auto* list = platform::DlgItemAs<QComboBox>(dialog, 110);
            for (int i = 0; i < list->count(); ++i) {
                listed.push_back(list->itemText(i));
            }
            selectedAtOpen = list->currentIndex();
            dialogTitle = dialog->windowTitle();
            onDialog ? onDialog(*dialog) : dialog->reject();
        });
        watch.start(10);
        app.Initialize();
    }
    ~LiveStart() {
        delete app.m_pMainWnd;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    bool IsLive() const {
        return dynamic_cast<CDriverInstrument*>(app.m_pInstrument.get()) != nullptr &&
               app.m_statusColor == kLive;
    }
    bool IsEmulated() const {
        return dynamic_cast<CEmulatedInstrument*>(app.m_pInstrument.get()) != nullptr &&
               app.m_statusColor == kEmulated;
    }
    CPan1Form* HistogramForm() const {
        return qobject_cast<CPan1Form*>(app.m_pCurrentPanel->m_pForm.data());
    }
    QString ShownName() const {
        return platform::DlgItemAs<CColorLabel>(HistogramForm(), CPan1Form::IDC_INSTRUMENTNAME)
            ->Text();
    }

    CSfpApp app;
    platform::MessageBoxRecorder boxes;
    std::vector<QString> listed;
    int selectedAtOpen = -1;
    QString dialogTitle;
};

std::vector<QString> Box(int id) {
    return {LoadStr(id)};
}

} // namespace

class TestLive : public QObject {
    Q_OBJECT
private slots:
    void init();

    void defaultBenchConnectsWithoutDialog();
    void resetOnlyWhenAsked();
    void identifiedGpibAndVxi_data();
    void identifiedGpibAndVxi();
    void noIdentificationLetsTheOperatorChoose();
    void twoMainframesListedFirstSelected();
    void directRoad();
    void directRoadToNothing();
    void noCandidates();
    void noResourceManager();
    void driverWithoutItsEntryPoints();

    void switches_data();
    void switches();
    void directResourceNames_data();
    void directResourceNames();
    void instrumentNames_data();
    void instrumentNames();
    void identification_data();
    void identification();
    void automaticChoice();
    void switchesInQtsOwnOptionsCount();

private:
    // Starts a simulator on bench for one test (the default bench when empty).
    void UseBench(const std::string& bench);
    std::string Raw(const std::string& line);

    std::unique_ptr<CSimProcess> m_sim;
};

void TestLive::init() {
    UseBench(CSimProcess::DefaultBench());
}

void TestLive::UseBench(const std::string& bench) {
    m_sim = std::make_unique<CSimProcess>(bench);
    QVERIFY2(m_sim->Start(), m_sim->ListeningLine().c_str());
    qputenv("KSM7720_BENCH", QByteArray::fromStdString(m_sim->ResolvedBench()));
}

std::string TestLive::Raw(const std::string& line) {
    CRawClient client(m_sim->Port("mainframe"));
    return client.Query(line.find('?') != std::string::npos ? line : line + ";*OPC?");
}

void TestLive::defaultBenchConnectsWithoutDialog() {
    Raw("SIM:ADV 36000;HIST:TUN 19");
    LiveStart run(QString{});
    QVERIFY(run.boxes.Boxes().empty());
    QVERIFY(run.listed.empty());
    QVERIFY(run.IsLive());
    QCOMPARE(run.app.m_instrumentName, QStringLiteral("VXI0::24"));
    QCOMPARE(run.ShownName(), QStringLiteral("VXI0::24"));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // The panel opens on blower 1 (code 50): its chart holds the simulator's histogram.
    const QStringList counts = QString::fromStdString(Raw("HIST:DATA? 50,0")).split(u',');
    const QStringList lows = QString::fromStdString(Raw("HIST:DATA? 50,1")).split(u',');
    QCOMPARE(counts.size(), 10);
    const Chisto& chart = *run.HistogramForm()->m_pHisto;
    QCOMPARE(chart.m_pBins.size(), std::size_t{10});
    int total = 0;
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(chart.m_pBins[k].nCount, counts[k].toInt());
        QCOMPARE(chart.m_pBins[k].dLow, lows[k].toDouble());
        total += chart.m_pBins[k].nCount;
    }
    QVERIFY(total > 0);

    // An accessibility client hears the lamp's state; a copy holds the chart with the
    // mainframe's time unit.
    CPan1Form* form = run.HistogramForm();
    QWidget* lamp = platform::DlgItem(form, CPan1Form::IDC_LAMP);
    QCOMPARE(QAccessible::queryAccessibleInterface(lamp)->text(QAccessible::Name),
             QStringLiteral("Live"));
    QVERIFY(QTest::qWaitForWindowActive(run.app.m_pMainWnd));
    QTest::keySequence(run.app.m_pMainWnd, QKeySequence::Copy);
    const QStringList copied = QApplication::clipboard()->text().split(u'\n');
    QCOMPARE(copied.value(1),
             QStringLiteral("%1\t%2\t%3\tBLOWER BLOWER1\tRPM\tSEC")
                 .arg(lows[0], QString::number(chart.m_pBins[0].dHigh), counts[0]));
}

void TestLive::resetOnlyWhenAsked() {
    Raw("DISP:TEXT \"kept\"");
    {
        LiveStart run(QString{});
        QVERIFY(run.IsLive());
    }
    QCOMPARE(Raw("DISP:TEXT?"), std::string("\"kept\""));
    LiveStart run(QStringLiteral("/R"));
    QVERIFY(run.IsLive());
    QCOMPARE(Raw("DISP:TEXT?"), std::string("\"\""));
}

void TestLive::identifiedGpibAndVxi_data() {
    QTest::addColumn<QString>("resources");
    QTest::addColumn<QString>("connected");
    const QString gpib = "resource GPIB0::9::INSTR mainframe intf=GPIB\n";
    const QString foreign = "instrument dmm device idn=\"korvald-systems,m7720,0,1\"\n"
                            "resource GPIB0::7::INSTR dmm\n";
    QTest::newRow("by *IDN? alone") << gpib << "GPIB0::9";
    QTest::newRow("the VXI one of two") << gpib + QString::fromStdString(kVxi24) << "VXI0::24";
    QTest::newRow("identity in lower case") << foreign + gpib << "GPIB0::9";
    QTest::newRow("model code 2862")
        << "resource VXI0::8::INSTR mainframe manf=3372 model=2862\n" + gpib << "GPIB0::9";
}

void TestLive::identifiedGpibAndVxi() {
    QFETCH(QString, resources);
    QFETCH(QString, connected);
    UseBench(kMainframe + resources.toStdString());
    LiveStart run(QString{});
    QVERIFY(run.listed.empty());
    QVERIFY(run.IsLive());
    QCOMPARE(run.app.m_instrumentName, connected);
}

void TestLive::noIdentificationLetsTheOperatorChoose() {
    LiveStart run(QStringLiteral("-N"));
    const std::vector<QString> all{"VXI0::24::INSTR", "GPIB0::9::INSTR", "ASRL1::INSTR"};
    QCOMPARE(run.listed, all);
    QCOMPARE(run.selectedAtOpen, 0);
    QCOMPARE(run.dialogTitle, QStringLiteral("Select Instrument"));
    QCOMPARE(run.boxes.Boxes(), Box(IDS_SELECT_CANCELLED));
    QVERIFY(run.IsEmulated());
    QCOMPARE(run.app.m_instrumentName, QStringLiteral("Emulated"));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestLive::twoMainframesListedFirstSelected() {
    UseBench(kMainframe + kVxi24 +
             "instrument second mainframe\n"
             "resource VXI0::32::INSTR second intf=VXI manf=3372 model=2861\n");
    Qt::CursorShape cursor = Qt::WaitCursor;
    LiveStart run(QString{}, [&cursor](CSelectInstrumentDlg& dialog) {
        cursor = QGuiApplication::overrideCursor()->shape();
        platform::DlgItemAs<QComboBox>(&dialog, 110)->setCurrentIndex(1);
        platform::DlgItemAs<QPushButton>(&dialog, platform::IDOK)->click();
    });
    QCOMPARE(run.listed, (std::vector<QString>{"VXI0::24::INSTR", "VXI0::32::INSTR"}));
    QCOMPARE(run.selectedAtOpen, 0);
    QCOMPARE(cursor, Qt::ArrowCursor);
    QVERIFY(run.boxes.Boxes().empty());
    QVERIFY(run.IsLive());
    QCOMPARE(run.app.m_instrumentName, QStringLiteral("VXI0::32"));
}

void TestLive::directRoad() {
    LiveStart run(QStringLiteral("-A vxi0::24::instr"));
    QVERIFY(run.boxes.Boxes().empty());
    QVERIFY(run.listed.empty());
    QVERIFY(run.IsLive());
    QCOMPARE(run.app.m_instrumentName, QStringLiteral("VXI0::24"));
}

void TestLive::directRoadToNothing() {
    {
        LiveStart run(QStringLiteral("-a VXI0::99::INSTR"));
        QCOMPARE(run.boxes.Boxes(), Box(IDS_INIT_FAILED));
        QVERIFY(run.IsEmulated());
        QCOMPARE(run.ShownName(), QStringLiteral("VXI0::99"));
    }
    LiveStart empty(QStringLiteral("x -a"));
    QCOMPARE(empty.boxes.Boxes(), Box(IDS_INIT_FAILED));
    QCOMPARE(empty.app.m_instrumentName, QString());
}

void TestLive::noCandidates() {
    UseBench("instrument dmm device idn=\"ACME,DMM,0,1\"\nresource GPIB0::9::INSTR dmm\n");
    LiveStart run(QString{});
    QCOMPARE(run.boxes.Boxes(), Box(IDS_NO_INSTRUMENT));
    QVERIFY(run.IsEmulated());
    QCOMPARE(run.ShownName(), QStringLiteral("Emulated"));
}

void TestLive::noResourceManager() {
    qunsetenv("KSM7720_BENCH");
    LiveStart run(QString{});
    QCOMPARE(run.boxes.Boxes(), Box(IDS_OPEN_RM_FAILED));
    QCOMPARE(run.boxes.Boxes().front(),
             QStringLiteral("Open of default RM failed, creating non live panel."));
    QVERIFY(run.IsEmulated());
}

void TestLive::driverWithoutItsEntryPoints() {
    // One opens the resource but lacks ksm7720_setMessage; the other has no ksm7720_init.
    for (const char* driver : {STUB_DRIVER_PARTIAL, LOADABLE_DRIVER}) {
        CSfpApp app;
        platform::MessageBoxRecorder boxes;
        app.m_visaLibraryName = VISA_LIBRARY;
        app.m_driverLibraryName = driver;
        app.m_commandLine = QStringLiteral("-a VXI0::24::INSTR");
        QVERIFY(app.DiscoverInstrument());
        QCOMPARE(boxes.Boxes(), Box(IDS_BAD_DRIVER));
        QVERIFY(dynamic_cast<CEmulatedInstrument*>(app.m_pInstrument.get()) != nullptr);
        QCOMPARE(app.m_statusColor, kEmulated);
        QCOMPARE(app.m_instrumentName, QStringLiteral("VXI0::24"));
    }
}

void TestLive::switches_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<char>("letter");
    QTest::addColumn<bool>("found");
    QTest::newRow("dash, upper case") << "-N" << 'n' << true;
    QTest::newRow("slash") << "x /r" << 'r' << true;
    QTest::newRow("inside a word") << "c:/apps/x" << 'a' << true;
    QTest::newRow("inside a hyphenated word") << "half-rate" << 'r' << true;
    QTest::newRow("absent") << "-a VXI0::24" << 'n' << false;
    QTest::newRow("letter alone") << "n r" << 'n' << false;
}

void TestLive::switches() {
    QFETCH(QString, commandLine);
    QFETCH(char, letter);
    QFETCH(bool, found);
    QCOMPARE(HasSwitch(LowerCaseCopy(commandLine), letter), found);
}

void TestLive::directResourceNames_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("name");
    QTest::newRow("blank after the switch") << "-A vxi0::24::instr"
                                            << "VXI0::24::INSTR";
    QTest::newRow("no blank") << "/agpib0::9::instr -r"
                              << "GPIB0::9::INSTR";
    QTest::newRow("several blanks") << "-a    vxi0::24"
                                    << "VXI0::24";
    QTest::newRow("at the end") << "-r -a"
                                << "";
    QTest::newRow("only blanks after") << "-a   "
                                       << "";
    QTest::newRow("slash before dash") << "-a first /a second"
                                       << "SECOND";
    QTest::newRow("inside a path") << "c:/apps/x"
                                   << "PPS/X";
}

void TestLive::directResourceNames() {
    QFETCH(QString, commandLine);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(DirectResourceName(LowerCaseCopy(commandLine))), name);
}

void TestLive::instrumentNames_data() {
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QString>("name");
    QTest::newRow("vxi") << "VXI0::24::INSTR"
                         << "VXI0::24";
    QTest::newRow("lower case") << "gpib0::9::instr"
                                << "GPIB0::9";
    QTest::newRow("no ending") << "VXI0::24"
                               << "VXI0::24";
    QTest::newRow("ending at 0") << "::INSTR"
                                 << "::INSTR";
    QTest::newRow("ending at 99") << QString(99, u'X') + "::INSTR" << QString(99, u'X');
    QTest::newRow("ending at 100")
        << QString(100, u'X') + "::INSTR" << QString(100, u'X') + "::INSTR";
}

void TestLive::instrumentNames() {
    QFETCH(QString, resource);
    QFETCH(QString, name);
    QCOMPARE(InstrumentNameFromResource(resource.toStdString()), name);
}

void TestLive::identification_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("received");
    QTest::addColumn<bool>("accepted");
    const QByteArray prefix = LoadStr(IDS_IDN_PREFIX).toLatin1();
    QTest::newRow("further fields") << prefix + "0,SIM0001,A.01.00\n" << 38 << true;
    QTest::newRow("exactly 20") << prefix << 20 << true;
    QTest::newRow("19") << prefix.left(19) << 19 << false;
    QTest::newRow("lower case") << prefix.toLower() + "0" << 21 << false;
    // Only the bytes received count, whatever else the buffer holds.
    QTest::newRow("buffer beyond the count") << prefix << 10 << false;
    QTest::newRow("nothing") << QByteArray(100, '\0') << 0 << false;
}

void TestLive::identification() {
    QFETCH(QByteArray, reply);
    QFETCH(int, received);
    QFETCH(bool, accepted);
    QCOMPARE(LoadStr(IDS_IDN_PREFIX), QStringLiteral("KORVALD-SYSTEMS,M772"));
    const QByteArray prefix = LoadStr(IDS_IDN_PREFIX).toLatin1();
    QCOMPARE(IdentificationMatches(reinterpret_cast<const unsigned char*>(reply.constData()),
                                   static_cast<std::size_t>(received),
                                   std::string_view(prefix.constData(), prefix.size())),
             accepted);
}

void TestLive::automaticChoice() {
    using List = std::vector<std::string>;
    QCOMPARE(AutomaticChoice(List{"GPIB0::9::INSTR"}, false), 0);
    QCOMPARE(AutomaticChoice(List{"GPIB0::9::INSTR"}, true), -1);
    QCOMPARE(AutomaticChoice(List{"GPIB0::9::INSTR", "VXI0::24::INSTR"}, false), 1);
    QCOMPARE(AutomaticChoice(List{"GPIB0::9::INSTR", "VXI0::24::INSTR"}, true), -1);
    QCOMPARE(AutomaticChoice(List{"VXI0::24::INSTR", "GPIB-VXI0::8::INSTR"}, false), -1);
    QCOMPARE(AutomaticChoice(List{"GPIB0::9::INSTR", "vxi0::24::instr"}, false), -1);
}

// The program itself, started with an option that Qt takes out of its arguments: "-reverse"
// holds "-r", and the switches are searched in the command line as typed, so the mainframe
// is reset on opening.
void TestLive::switchesInQtsOwnOptionsCount() {
    Raw("DISP:TEXT \"kept\"");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_LIBRARY_PATH", QFileInfo(QStringLiteral(VISA_LIBRARY)).absolutePath());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SFP_EXE), {QStringLiteral("-reverse")});
    QVERIFY(program.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(Raw("DISP:TEXT?"), std::string("\"\""), 5000);
    program.kill();
    program.waitForFinished();
}

QTEST_MAIN(TestLive)
#include "tst_live.moc"
