// The main frame: where it starts, its menu, the panel switch, the auto-update pass and
// the order of shutdown.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "histogram/Pan1Obj.h"
#include "panels/PanelForm.h"
#include "panels/ReadObj.h"
#include "platform/DialogBuilder.h"
#include "resources/Bitmaps.h"
#include "resources/StringTable.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

namespace {

// The window shows the program's own icon (not Qt's default) in its title bar.
bool WearsProgramIcon(const QWidget* window) {
    return window->windowIcon().pixmap(32).toImage() == AppIcon().pixmap(32).toImage();
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
private slots:
    void startRectangle();
    void windowIsFixedAndTitled();
    void menuItemsInOrder();
    void startsOnHistogramPanel();
    void panelSwitchMovesCheckMark();
    void showingTheSamePanelRecreatesItsForm();
    void frameFitsTheForm();
    void shutdownOrder();
    void autoUpdateEveryTickWithZeroInterval();
    void autoUpdateWaitsForTheInterval();
    void passAdvancesEvenWithAutoUpdateOff();
    void tickWrapDoesNotStopAutoUpdate();
    void reentrantTickIsDropped();
    void autoUpdateToggleAndReset();
    void failedAutoReadingReportsOnceAndStopsAutoUpdate();
    void selfTestShowsTheMessage();
    void failingCommandsAreReported();
    void aboutBox();
};

void TestMainFrame::startRectangle() {
    QCOMPARE(FrameStartRect(1024, 768), (platform::Rect{311, 182, 713, 586}));
    QCOMPARE(FrameStartRect(400, 404).left, -1);
    QCOMPARE(FrameStartRect(401, 404).left, 0);
    QCOMPARE(FrameStartRect(400, 401).top, -1);
}

void TestMainFrame::windowIsFixedAndTitled() {
    AppFixture fx;
    CMainFrame* frame = fx.Frame();
    QCOMPARE(frame->windowTitle(), QStringLiteral("KS M7720 Main Frame"));
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->minimumSize(), frame->maximumSize());
    QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(WearsProgramIcon(frame));
}

void TestMainFrame::menuItemsInOrder() {
    AppFixture fx;
    const QList<QAction*> popups = fx.Frame()->menuBar()->actions();
    QCOMPARE(popups.size(), 3);
    QCOMPARE(popups[0]->text(), QStringLiteral("&System"));
    QCOMPARE(popups[1]->text(), QStringLiteral("&Panels"));
    QCOMPARE(popups[2]->text(), QStringLiteral("&Help"));
    auto items = [&](int i) {
        QStringList out;
        for (QAction* a : popups[i]->menu()->actions()) {
            out << (a->isSeparator() ? QStringLiteral("-")
                                     : a->text() + QLatin1Char('=') + a->data().toString());
            out << (a->isEnabled() ? QString() : QStringLiteral("disabled"));
        }
        out.removeAll(QString());
        return out;
    };
    QCOMPARE(items(0), (QStringList{"&Auto Update=32773", "&Reset=32774", "Self &Test=32771", "-",
                                    "&Exit=32779"}));
    QCOMPARE(items(1), (QStringList{"&Histogram=32780", "&Readings=32781"}));
    QCOMPARE(items(2), (QStringList{"&Help Contents=32775", "-", "&About...=32776"}));
}

void TestMainFrame::startsOnHistogramPanel() {
    AppFixture fx;
    auto* histogram = fx.app.FindPanel(QStringLiteral("Main Panel"));
    auto* readings = fx.app.FindPanel(QStringLiteral("Readings Panel"));
    QVERIFY(qobject_cast<CPan1Obj*>(histogram) != nullptr);
    QVERIFY(qobject_cast<CReadObj*>(readings) != nullptr);
    QCOMPARE(fx.app.m_panels.front().get(), histogram);
    QCOMPARE(fx.app.m_pCurrentPanel, histogram);
    QVERIFY(histogram->m_pForm != nullptr);
    QVERIFY(readings->m_pForm == nullptr);
    QVERIFY(fx.Frame()->MenuAction(ID_PANELS_HISTOGRAM)->isChecked());
    QVERIFY(!fx.Frame()->MenuAction(ID_PANELS_READINGS)->isChecked());
    QVERIFY(!fx.Frame()->MenuAction(ID_SYSTEM_AUTOUPDATE)->isChecked());
    QCOMPARE(g_markedPanelItem, ID_PANELS_HISTOGRAM);
    QVERIFY(fx.Frame()->IsTimerRunning());
    QCOMPARE(fx.Frame()->TimerPeriod(), 300);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(fx.app.FindPanel(QStringLiteral("main panel")), nullptr);
}

void TestMainFrame::panelSwitchMovesCheckMark() {
    AppFixture fx;
    auto* readings = fx.app.FindPanel(LoadStr(IDS_READINGS_PANEL));
    fx.Command(ID_PANELS_READINGS);
    QCOMPARE(fx.app.m_pCurrentPanel, readings);
    QVERIFY(fx.Frame()->MenuAction(ID_PANELS_READINGS)->isChecked());
    QVERIFY(!fx.Frame()->MenuAction(ID_PANELS_HISTOGRAM)->isChecked());
    QVERIFY(fx.app.FindPanel(LoadStr(IDS_MAIN_PANEL))->m_pForm == nullptr);
    QCOMPARE(fx.Frame()->centralWidget(), readings->m_pForm.data());
    fx.Command(ID_PANELS_HISTOGRAM);
    QVERIFY(fx.Frame()->MenuAction(ID_PANELS_HISTOGRAM)->isChecked());
    QVERIFY(!fx.Frame()->MenuAction(ID_PANELS_READINGS)->isChecked());
    QVERIFY(readings->m_pForm == nullptr);
}

void TestMainFrame::showingTheSamePanelRecreatesItsForm() {
    AppFixture fx;
    CPanel* histogram = fx.app.m_pCurrentPanel;
    QPointer<CPanelForm> before = histogram->m_pForm;
    fx.Command(ID_PANELS_HISTOGRAM);
    QVERIFY(before.isNull());
    QVERIFY(histogram->m_pForm != nullptr);
    QCOMPARE(fx.app.m_pCurrentPanel, histogram);
    QVERIFY(fx.Frame()->MenuAction(ID_PANELS_HISTOGRAM)->isChecked());
}

void TestMainFrame::frameFitsTheForm() {
    AppFixture fx;
    for (int id : {ID_PANELS_HISTOGRAM, ID_PANELS_READINGS}) {
        fx.Command(id);
        QCoreApplication::processEvents();
        const QWidget* form = fx.app.m_pCurrentPanel->m_pForm;
        QCOMPARE(fx.Frame()->centralWidget()->geometry(),
                 QRect(QPoint(0, form->y()), form->size()));
        QCOMPARE(form->geometry().bottom(), fx.Frame()->height() - 1);
        QCOMPARE(form->width(), fx.Frame()->width());
    }
}

// An instrument that notes when it is destroyed, in the shared log.
class LoggingInstrument : public CTestInstrument {
public:
    explicit LoggingInstrument(QStringList& log) : m_log(log) {}
    ~LoggingInstrument() override { m_log << QStringLiteral("instrument"); }

private:
    QStringList& m_log;
};

void TestMainFrame::shutdownOrder() {
    QStringList log;
    {
        AppFixture fx(std::make_unique<LoggingInstrument>(log));
        fx.Command(ID_PANELS_READINGS);
        auto note = [&log](QObject* object, const QString& name) {
            QObject::connect(object, &QObject::destroyed, [&log, name] { log << name; });
        };
        note(fx.app.m_pCurrentPanel->m_pForm, QStringLiteral("readings form"));
        note(fx.app.FindPanel(LoadStr(IDS_MAIN_PANEL)), QStringLiteral("histogram panel"));
        note(fx.app.FindPanel(LoadStr(IDS_READINGS_PANEL)), QStringLiteral("readings panel"));
        CMainFrame* frame = fx.Frame();
        fx.Command(ID_SYSTEM_EXIT); // gone at once, not when the event loop next runs
        QVERIFY(!frame->IsTimerRunning());
        QVERIFY(!frame->isVisible());
        QCOMPARE(fx.app.m_pMainWnd, nullptr);
        QVERIFY(fx.app.m_panels.empty());
        QVERIFY(fx.app.m_pInstrument == nullptr);
    }
    QCOMPARE(log,
             (QStringList{"readings form", "histogram panel", "readings panel", "instrument"}));
}

namespace {
// Puts auto update on and drives the frame's pass with a clock the test sets.
struct TickDriver {
    explicit TickDriver(AppFixture& fx) : fx(fx) {
        fx.Frame()->KillTimer(IDT_AUTOUPDATE);
        fx.Frame()->SetTickSource([this] { return now; });
    }
    int Readings() const {
        return static_cast<int>(
            fx.Instrument()->calls.filter(QStringLiteral("GetHistogram(50,0)")).size());
    }
    void TickAt(std::uint32_t t) {
        now = t;
        fx.Frame()->OnTimer();
    }
    AppFixture& fx;
    std::uint32_t now = 0;
};
} // namespace

void TestMainFrame::autoUpdateEveryTickWithZeroInterval() {
    AppFixture fx;
    TickDriver clock(fx);
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    const int before = clock.Readings();
    clock.TickAt(300);
    clock.TickAt(600);
    clock.TickAt(900);
    QCOMPARE(clock.Readings() - before, 3);
}

void TestMainFrame::autoUpdateWaitsForTheInterval() {
    AppFixture fx;
    TickDriver clock(fx);
    fx.app.m_updateInterval = 5000;
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    const int before = clock.Readings();
    clock.TickAt(4800);
    QCOMPARE(clock.Readings() - before, 0);
    clock.TickAt(5100);
    QCOMPARE(clock.Readings() - before, 1);
    QCOMPARE(fx.app.m_lastUpdateTick, 5100u);
    clock.TickAt(9900);
    QCOMPARE(clock.Readings() - before, 1);
    clock.TickAt(10200);
    QCOMPARE(clock.Readings() - before, 2);
}

void TestMainFrame::passAdvancesEvenWithAutoUpdateOff() {
    AppFixture fx;
    TickDriver clock(fx);
    fx.app.m_updateInterval = 1000;
    const int before = clock.Readings();
    clock.TickAt(1200);
    QCOMPARE(fx.app.m_lastUpdateTick, 1200u);
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    clock.TickAt(1500); // not at once: at the next interval boundary
    QCOMPARE(clock.Readings() - before, 0);
    clock.TickAt(2200);
    QCOMPARE(clock.Readings() - before, 1);
}

void TestMainFrame::tickWrapDoesNotStopAutoUpdate() {
    AppFixture fx;
    TickDriver clock(fx);
    fx.app.m_updateInterval = 1000;
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    clock.TickAt(0xFFFFFE00u);
    const int before = clock.Readings();
    clock.TickAt(0x100u); // 768 ms later, across the wrap
    QCOMPARE(clock.Readings() - before, 0);
    clock.TickAt(0x300u); // 1280 ms later
    QCOMPARE(clock.Readings() - before, 1);
}

// A reading that "opens a box", during which another tick arrives.
class ReentrantInstrument : public CTestInstrument {
public:
    CMainFrame* frame = nullptr;
    int nested = 0;
    const std::int32_t* GetHistogram(short code, short part) override {
        if (frame != nullptr && part == 0) {
            ++nested;
            frame->OnTimer();
        }
        return CTestInstrument::GetHistogram(code, part);
    }
};

void TestMainFrame::reentrantTickIsDropped() {
    AppFixture fx(std::make_unique<ReentrantInstrument>());
    TickDriver clock(fx);
    auto* inst = static_cast<ReentrantInstrument*>(fx.Instrument());
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    inst->frame = fx.Frame();
    const int before = clock.Readings();
    clock.TickAt(1000);
    QCOMPARE(inst->nested, 1);
    QCOMPARE(clock.Readings() - before, 1);
    QCOMPARE(fx.Frame()->m_bInTimer, 0);
}

void TestMainFrame::autoUpdateToggleAndReset() {
    AppFixture fx;
    QAction* autoUpdate = fx.Frame()->MenuAction(ID_SYSTEM_AUTOUPDATE);
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    QVERIFY(fx.app.m_bAutoUpdate);
    QVERIFY(autoUpdate->isChecked());
    fx.Command(ID_SYSTEM_RESET);
    QVERIFY(!fx.app.m_bAutoUpdate);
    QVERIFY(!autoUpdate->isChecked());
    QCOMPARE(fx.Instrument()->calls.filter(QStringLiteral("Reset")).size(), 1);
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    fx.Instrument()->failStatus = VI_ERROR_TMO; // a failed reset turns it off too
    fx.Command(ID_SYSTEM_RESET);
    QVERIFY(!fx.app.m_bAutoUpdate);
    QVERIFY(!autoUpdate->isChecked());
    QCOMPARE(fx.boxes.Boxes().back(), QStringLiteral("Time Out !"));
}

// Without this, a failing instrument put a new box up after every tick and locked the
// operator out of the menu.
void TestMainFrame::failedAutoReadingReportsOnceAndStopsAutoUpdate() {
    AppFixture fx;
    TickDriver clock(fx);
    QAction* autoUpdate = fx.Frame()->MenuAction(ID_SYSTEM_AUTOUPDATE);
    bool offWhenShown = false;
    platform::MessageBoxRecorder boxes(
        [&](const QString&) { offWhenShown = !fx.app.m_bAutoUpdate && !autoUpdate->isChecked(); });
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    const int before = clock.Readings();
    for (std::uint32_t t = 300; t <= 1200; t += 300) {
        fx.Instrument()->failStatus = VI_ERROR_TMO; // lost for good
        clock.TickAt(t);
    }
    QCOMPARE(boxes.Boxes(), std::vector<QString>{QStringLiteral("Time Out !")});
    QVERIFY(offWhenShown);
    QCOMPARE(clock.Readings() - before, 1);

    fx.Instrument()->failStatus = 0; // back
    fx.Command(ID_SYSTEM_AUTOUPDATE);
    clock.TickAt(1500);
    clock.TickAt(1800);
    QCOMPARE(clock.Readings() - before, 3);
    QVERIFY(fx.app.m_bAutoUpdate && autoUpdate->isChecked());

    fx.Instrument()->failStatus = VI_ERROR_TMO; // a command by hand leaves auto update alone
    fx.Command(ID_SYSTEM_SELFTEST);
    QVERIFY(fx.app.m_bAutoUpdate);
    QCOMPARE(boxes.Boxes().size(), 2u);
}

void TestMainFrame::selfTestShowsTheMessage() {
    AppFixture fx;
    fx.Command(ID_SYSTEM_SELFTEST);
    QCOMPARE(fx.boxes.Boxes(), std::vector<QString>{QStringLiteral("Self test text")});
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestMainFrame::failingCommandsAreReported() {
    AppFixture fx;
    fx.Instrument()->failStatus = -1073807298;
    fx.Command(ID_SYSTEM_SELFTEST);
    QCOMPARE(fx.boxes.Boxes(), std::vector<QString>{QStringLiteral("Driver status text")});
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(fx.Frame()->IsTimerRunning());
    QVERIFY(fx.Frame()->MenuAction(ID_PANELS_HISTOGRAM)->isChecked());
}

// The About box: its texts, and its place 34 x 22 dialog units from the frame's client
// area; OK ends it.
void TestMainFrame::aboutBox() {
    AppFixture fx;
    QVERIFY(QTest::qWaitForWindowExposed(fx.Frame()));
    QString title;
    QStringList texts;
    QPoint offset;
    bool icon = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        QVERIFY(about != nullptr);
        title = about->windowTitle();
        icon = WearsProgramIcon(about);
        for (const QLabel* label : about->findChildren<QLabel*>()) {
            texts << label->text();
        }
        const platform::DialogUnits units = platform::DialogUnitsOf(platform::DialogFont());
        const QPoint client = fx.Frame()->centralWidget()->mapToGlobal(QPoint(0, 0));
        offset = about->pos() - client - QPoint(units.X(34), units.Y(22));
        QTest::mouseClick(platform::DlgItem(about, platform::IDOK), Qt::LeftButton);
    });
    fx.Command(ID_HELP_ABOUT);
    QCOMPARE(title, QStringLiteral("About ksm7720 Soft front panel"));
    QVERIFY(icon);
    QVERIFY(texts.contains(QStringLiteral("ksm7720  soft front panel")));
    QVERIFY(texts.contains(QStringLiteral("VERSION: A.01.00")));
    QVERIFY(
        texts.contains(QStringLiteral("Plug Play Driver revison required: A.01.00 or greater")));
    QVERIFY(texts.contains(QStringLiteral("VISA version required: 1.0 or greater")));
    QCOMPARE(offset, QPoint(0, 0));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
