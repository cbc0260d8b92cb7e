// The emulated instrument's fixed answers and how instrument failures reach the operator.
#include "AppFixture.h"
#include "instrument/CallInstrument.h"
#include "instrument/EmulatedInstrument.h"
#include "instrument/ReportInstrumentError.h"
#include "resources/StringTable.h"

#include <QtTest>

class TestInstrument : public QObject {
    Q_OBJECT
private slots:
    void emulatedAnswers();
    void emulatedHistogramParts();
    void emulatedResetShowsItsBox();
    void errorQueueShownInOrder();
    void errorQueueStopsWhenQueryFails();
    void endlessErrorQueueIsCapped();
    void longErrorTextIsCut();
    void timeOutAndDriverText();
    void noStatusTextShowsNothing();
    void timerRestartsAfterEveryReport();
    void waitCursorOnlyWhereAsked();
};

void TestInstrument::emulatedAnswers() {
    CEmulatedInstrument emulated;
    CInstrument& inst = emulated;
    int code = 7;
    QCOMPARE(QString(inst.QueryError(&code)), QString());
    QCOMPARE(code, 0);
    QCOMPARE(inst.GetLastStatus(), 0);
    QCOMPARE(inst.GetStatusText(-1), nullptr);
    int result = 5;
    QCOMPARE(QString(inst.SelfTest(&result)), QStringLiteral("Self Test Passed"));
    QCOMPARE(result, 0);
    QCOMPARE(QString(inst.GetErrorText()), QString());
    QCOMPARE(inst.GetTimeUnits(), 0);
    inst.SetTimeUnits(19);
    QCOMPARE(inst.GetTimeUnits(), 0);
    const double* levels = inst.GetLevel(3, 0);
    QCOMPARE(levels[0], 0.0);
    QCOMPARE(levels[1], 0.0);
    QCOMPARE(levels[2], 0.0);
    inst.SetLimit(3, 12.5);
    inst.SaveSettings();
    inst.SetMessage("hello");
    inst.ResetHistory("ALL", "");
    QCOMPARE(inst.Reserved2(), 0);
    QCOMPARE(inst.Reserved3(), -1);
    QCOMPARE(inst.Reserved4(), -1);
    QCOMPARE(inst.Reserved5(1), 0.0);
}

void TestInstrument::emulatedHistogramParts() {
    CEmulatedInstrument inst;
    const std::int32_t* counts = inst.GetHistogram(50, 0);
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(counts[k], 2 * k);
    }
    // The same buffer serves every part: a kept pointer sees the newer answer.
    const std::int32_t* lows = inst.GetHistogram(12, 1);
    QCOMPARE(lows, counts);
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(counts[k], 250 * k);
    }
    const std::int32_t* highs = inst.GetHistogram(0, 2);
    QCOMPARE(highs[9], 2499);
    QCOMPARE(inst.GetHistogram(0, 3)[9], 18); // any other part: the counts
    QCOMPARE(inst.GetHistogram(0, -1)[1], 2);
}

void TestInstrument::emulatedResetShowsItsBox() {
    platform::MessageBoxRecorder boxes;
    CEmulatedInstrument inst;
    inst.Reset();
    inst.Reset();
    QCOMPARE(boxes.Boxes(), (std::vector<QString>{QStringLiteral("This is my NON LIVE RESET"),
                                                  QStringLiteral("This is my NON LIVE RESET")}));
}

void TestInstrument::errorQueueShownInOrder() {
    AppFixture fx;
    CTestInstrument* inst = fx.Instrument();
    inst->errorQueue = {{-100, "first"}, {-200, "second"}, {-300, "third"}};
    try {
        inst->SaveSettings();
        QFAIL("expected a failure");
    } catch (const CInstrumentException&) {
        QCOMPARE(inst->GetLastStatus(), INSTRUMENT_ERROR_DETECTED);
        ReportInstrumentError(inst->GetLastStatus());
    }
    QCOMPARE(fx.boxes.Boxes(),
             (std::vector<QString>{QStringLiteral("Instrument reports error: first"),
                                   QStringLiteral("Instrument reports error: second"),
                                   QStringLiteral("Instrument reports error: third")}));
    QCOMPARE(fx.boxes.Beeps(), 3);
    QVERIFY(fx.boxes.Events().front().beep); // each beep comes before its box
}

// A driver whose error query itself fails ends the report instead of repeating it.
class FailingQueryInstrument : public CTestInstrument {
public:
    const char* QueryError(int*) override { return nullptr; }
    const char* GetErrorText() override { return "the operation's error"; }
};

void TestInstrument::errorQueueStopsWhenQueryFails() {
    AppFixture fx(std::make_unique<FailingQueryInstrument>());
    ReportInstrumentError(INSTRUMENT_ERROR_DETECTED);
    QCOMPARE(
        fx.boxes.Boxes(),
        (std::vector<QString>{QStringLiteral("Instrument reports error: the operation's error")}));
}

// A driver that, once armed, never reports an empty queue.
class EndlessQueueInstrument : public CTestInstrument {
public:
    bool armed = false;
    const char* QueryError(int* code) override {
        if (!armed) {
            return CTestInstrument::QueryError(code);
        }
        *code = -350;
        m_text = "again";
        return m_text.c_str();
    }
};

void TestInstrument::endlessErrorQueueIsCapped() {
    AppFixture fx(std::make_unique<EndlessQueueInstrument>());
    static_cast<EndlessQueueInstrument*>(fx.Instrument())->armed = true;
    ReportInstrumentError(INSTRUMENT_ERROR_DETECTED);
    QCOMPARE(static_cast<int>(fx.boxes.Boxes().size()), kMaxErrorBoxes);
    QVERIFY(fx.Frame()->IsTimerRunning());
}

void TestInstrument::longErrorTextIsCut() {
    AppFixture fx;
    fx.Instrument()->errorQueue = {{-1, std::string(1000, 'x')}};
    try {
        fx.Instrument()->Reset();
    } catch (const CInstrumentException&) {
        ReportInstrumentError(fx.Instrument()->GetLastStatus());
    }
    QCOMPARE(fx.boxes.Boxes().at(0).size(), 300);
    QVERIFY(fx.boxes.Boxes().at(0).startsWith(QStringLiteral("Instrument reports error: xxx")));
}

void TestInstrument::timeOutAndDriverText() {
    AppFixture fx;
    ReportInstrumentError(VI_ERROR_TMO);
    ReportInstrumentError(-1073807343);
    QCOMPARE(fx.boxes.Boxes(),
             (std::vector<QString>{LoadStr(IDS_TIME_OUT), QStringLiteral("Driver status text")}));
    QCOMPARE(fx.boxes.Beeps(), 0);
}

void TestInstrument::noStatusTextShowsNothing() {
    AppFixture fx;
    fx.Instrument()->statusText.clear();
    ReportInstrumentError(-5);
    QVERIFY(fx.boxes.Boxes().empty());
}

void TestInstrument::timerRestartsAfterEveryReport() {
    bool stoppedDuringBox = false;
    AppFixture fx;
    platform::MessageBoxRecorder watch(
        [&](const QString&) { stoppedDuringBox = !fx.Frame()->IsTimerRunning(); });
    fx.Frame()->KillTimer(IDT_AUTOUPDATE);
    ReportInstrumentError(VI_ERROR_TMO);
    QVERIFY(stoppedDuringBox);
    QVERIFY(fx.Frame()->IsTimerRunning());
    QCOMPARE(fx.Frame()->TimerPeriod(), kAutoUpdatePeriodMs);
    fx.Instrument()->statusText.clear();
    fx.Frame()->KillTimer(IDT_AUTOUPDATE);
    ReportInstrumentError(-5); // shows nothing, still restarts the timer
    QVERIFY(fx.Frame()->IsTimerRunning());
}

// Windows call the instrument without the hourglass unless they ask for it, and a failure
// ends the hourglass before its report.
void TestInstrument::waitCursorOnlyWhereAsked() {
    AppFixture fx;
    auto cursorDuringCall = [](bool showWaitCursor) {
        bool waiting = false;
        CallInstrument(
            [&](CInstrument&) { waiting = QGuiApplication::overrideCursor() != nullptr; },
            showWaitCursor);
        return waiting;
    };
    QVERIFY(!cursorDuringCall(false));
    QVERIFY(cursorDuringCall(kShowWaitCursor));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    bool waitingAtReport = true;
    platform::MessageBoxRecorder watch(
        [&](const QString&) { waitingAtReport = QGuiApplication::overrideCursor() != nullptr; });
    fx.Instrument()->failStatus = VI_ERROR_TMO;
    QVERIFY(!CallInstrument([](CInstrument& inst) { inst.SaveSettings(); }, kShowWaitCursor));
    QVERIFY(!waitingAtReport);
    QCOMPARE(watch.Boxes(), std::vector<QString>{LoadStr(IDS_TIME_OUT)});
}

QTEST_MAIN(TestInstrument)
#include "tst_instrument.moc"
