// The histogram panel in the running program, on the scriptable test instrument.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "controls/ColorLabel.h"
#include "controls/SfpColor.h"
#include "histogram/HistSetupDlg.h"
#include "histogram/Pan1Form.h"
#include "histogram/Pan1Obj.h"
#include "platform/DialogBuilder.h"
#include "platform/RecordingDrawContext.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

using namespace platform;
using F = CPan1Form;

namespace {

constexpr int kStatusWithText = -1073807360;

CPan1Form* Form(const AppFixture& f) {
    return qobject_cast<F*>(f.Frame()->centralWidget());
}
QComboBox* Combo(const QWidget* form, int id) {
    return DlgItemAs<QComboBox>(form, id);
}
QString Text(const QWidget* form, int id) {
    return DlgItemAs<QLabel>(form, id)->text();
}
void Click(const QWidget* w, int id) {
    QTest::mouseClick(DlgItem(w, id), Qt::LeftButton);
}

// Chooses a list entry as the operator's click does.
void Choose(const QWidget* form, int id, int index) {
    Combo(form, id)->setCurrentIndex(index);
    emit Combo(form, id)->activated(index);
}

QStringList Entries(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) {
        out << combo->itemText(i);
    }
    return out;
}

QStringList Reads(int code, int times = 1) {
    QStringList out;
    for (int i = 0; i < times; ++i) {
        for (int part = 0; part < 3; ++part) {
            out << QStringLiteral("GetHistogram(%1,%2)").arg(code).arg(part);
        }
    }
    return out;
}

struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

class TestHistPanel : public QObject {
    Q_OBJECT
private slots:
    void firstStart();
    void kindsListsAndCodes();
    void failedReadingKeepsChartOnlyForItsOwnObject();
    void failedRebuildStillSetsUpKind();
    void choicesOutliveTheForm();
    void readingDrawsAtOnce();
    void enterTakesAReadingEscapeClosesNothing();
    void paintsRaisedPanelWithChart();
    void lampAndColours();
    void periodConversion_data();
    void periodConversion();
    void setupAndResetButtons();
};

void TestHistPanel::firstStart() {
    AppFixture f;
    CPan1Form* form = Form(f);
    QCOMPARE(f.Instrument()->calls, Reads(50));
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentIndex(), int(BLOWER));
    QCOMPARE(Entries(Combo(form, F::IDC_OBJECTLIST)), QStringList({"BLOWER1", "BLOWER2"}));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("BLOWER1"));
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Blower #"));
    QCOMPARE(Text(form, F::IDC_TITLE), QString("Blower RPM histogram"));
    QCOMPARE(form->m_pHisto->Label(), QString("RPM"));
    QCOMPARE(DlgItemAs<CColorLabel>(form, F::IDC_INSTRUMENTNAME)->Text(), QString("Emulated"));
}

// A change of kind rebuilds and reads (two reads); a change of object reads once.
void TestHistPanel::kindsListsAndCodes() {
    const struct {
        QuantityKind kind;
        int code; // of "N2"
        const char* title;
        const char* unit;
    } kinds[] = {{CURRENT, 41, "Current Histogram", "mA"},
                 {POWER, 33, "Power Histogram", "mW"},
                 {VOLT, 48, "Volt Histogram", "mV"}};
    AppFixture f;
    CPan1Form* form = Form(f);
    for (const auto& k : kinds) {
        f.Instrument()->calls.clear();
        Choose(form, F::IDC_KINDLIST, k.kind);
        QCOMPARE(f.Instrument()->calls, Reads(k.code - 6, 2));
        QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Supply: "));
        QCOMPARE(Text(form, F::IDC_TITLE), QString(k.title));
        QCOMPARE(form->m_pHisto->Label(), QString(k.unit));
        Choose(form, F::IDC_OBJECTLIST, 6);
        QCOMPARE(f.Instrument()->calls.mid(6), Reads(k.code));
        Choose(form, F::IDC_OBJECTLIST, 0);
    }

    form->m_pPanel->m_nSensor = 26;
    Choose(form, F::IDC_KINDLIST, TEMPERATURE);
    const QStringList sensors = Entries(Combo(form, F::IDC_OBJECTLIST));
    QCOMPARE(sensors.size(), 27);
    QCOMPARE(sensors.mid(9, 5), QStringList({"OUT9", "OUT10", "OUT11", "OUT12", "DELT0"}));
    QCOMPARE(sensors.mid(25), QStringList({"DELT12", "Ambient"}));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentIndex(), 26);
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Slot: "));
    QCOMPARE(form->m_pHisto->Label(), QString(".1 deg. C"));
    // A temperature is read for the sensor the list shows at that moment.
    f.Instrument()->calls.clear();
    Combo(form, F::IDC_OBJECTLIST)->setCurrentIndex(13);
    Click(form, F::IDC_TAKEREADING);
    QCOMPARE(f.Instrument()->calls, Reads(13));
}

void TestHistPanel::failedReadingKeepsChartOnlyForItsOwnObject() {
    AppFixture f;
    CPan1Form* form = Form(f);
    CTestInstrument* instrument = f.Instrument();
    instrument->histogramParts = {{{5, 6, 7, 8, 9, 10, 9, 8, 7, 6},
                                   {0, 10, 20, 30, 40, 50, 60, 70, 80, 90},
                                   {9, 19, 29, 39, 49, 59, 69, 79, 89, 99}}};
    Click(form, F::IDC_TAKEREADING);
    instrument->histogramParts[0].fill(1);
    instrument->failStatus = kStatusWithText;
    PaintCounter paints;
    form->installEventFilter(&paints);
    Click(form, F::IDC_TAKEREADING);
    QCOMPARE(f.boxes.Boxes(), std::vector<QString>{"Driver status text"});
    QCOMPARE(form->m_pHisto->m_dYMin, 5.0);
    QCOMPARE(form->m_pHisto->XMax(), 99.0);
    QCOMPARE(form->m_pHisto->m_pBins[5].nCount, 10);
    QCOMPARE(paints.count, 0);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // Another object whose reading fails: BLOWER1's chart must not stand under BLOWER2.
    instrument->failStatus = kStatusWithText;
    Choose(form, F::IDC_OBJECTLIST, 1);
    QCOMPARE(f.boxes.Boxes().size(), std::size_t(2));
    QCOMPARE(form->m_pHisto->XMax(), 0.0);
    QCOMPARE(form->m_pHisto->m_pBins[5].nCount, 0);
}

void TestHistPanel::failedRebuildStillSetsUpKind() {
    AppFixture f;
    CPan1Form* form = Form(f);
    f.Instrument()->histogramParts[2].fill(7);
    Click(form, F::IDC_TAKEREADING);
    f.Instrument()->failStatus = kStatusWithText;
    form->m_pPanel->m_nType = POWER;
    form->m_pPanel->m_nSupply = 3;
    form->RebuildHistogram();
    QCOMPARE(f.boxes.Boxes().size(), std::size_t(1));
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentIndex(), int(POWER));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("P24"));
    QCOMPARE(Text(form, F::IDC_TITLE), QString("Power Histogram"));
    QCOMPARE(form->m_pHisto->XMax(), 0.0); // a new, empty chart
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestHistPanel::choicesOutliveTheForm() {
    AppFixture f;
    Choose(Form(f), F::IDC_OBJECTLIST, 1);
    Choose(Form(f), F::IDC_KINDLIST, TEMPERATURE);
    Choose(Form(f), F::IDC_OBJECTLIST, 14);
    f.Command(ID_PANELS_READINGS);
    f.Instrument()->calls.clear();
    f.Command(ID_PANELS_HISTOGRAM);
    CPan1Form* form = Form(f);
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentText(), QString("TEMPERATURE"));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("DELT1"));
    QCOMPARE(f.Instrument()->calls, Reads(14));
    Choose(form, F::IDC_KINDLIST, BLOWER);
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("BLOWER2"));
}

void TestHistPanel::readingDrawsAtOnce() {
    AppFixture f;
    CPan1Form* form = Form(f);
    QVERIFY(QTest::qWaitForWindowExposed(f.Frame()));
    PaintCounter paints;
    form->installEventFilter(&paints);
    form->TakeReading();
    QCOMPARE(paints.count, 1);
}

// "Take Reading" is the form's default button: Enter presses it from a list, and
// neither Enter nor Esc ever closes the form.
void TestHistPanel::enterTakesAReadingEscapeClosesNothing() {
    AppFixture f;
    QPointer<CPan1Form> form = Form(f);
    QComboBox* kinds = Combo(form, F::IDC_KINDLIST);
    kinds->setFocus();
    f.Instrument()->calls.clear();
    QTest::keyClick(kinds, Qt::Key_Return);
    QCOMPARE(f.Instrument()->calls, Reads(50));
    QTest::keyClick(kinds, Qt::Key_Escape);
    QTest::keyClick(form, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!form.isNull());
    QVERIFY(form->isVisible());
    QCOMPARE(f.Instrument()->calls, Reads(50));
}

void TestHistPanel::paintsRaisedPanelWithChart() {
    AppFixture f;
    CPan1Form* form = Form(f);
    f.Instrument()->histogramParts[0] = {0, 2, 4, 6, 8, 10, 12, 14, 16, 18};
    f.Instrument()->histogramParts[2].fill(2499);
    form->TakeReading();
    RecordingDrawContext dc;
    form->Paint(dc);
    const auto& ops = dc.Ops();
    QCOMPARE(ops[0].rect, Rect::FromQRect(form->rect()));
    QCOMPARE(ops[0].fill, GetSfpColor(SFPCOLOR_DARKGRAY));
    Rect p = Rect::FromQRect(DlgItem(form, F::IDC_PANELFRAME)->geometry());
    p.Deflate(2);
    const Point path[] = {{p.left, p.bottom},
                          {p.left, p.top},
                          {p.right, p.top},
                          {p.right, p.bottom},
                          {p.left, p.bottom}};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ops[1 + i].from, path[i]);
        QCOMPARE(ops[1 + i].to, path[i + 1]);
        const int colour = i < 2 ? SFPCOLOR_HIGHLIGHT : SFPCOLOR_SHADOW;
        QCOMPARE(ops[1 + i].pen, (Pen{GetSfpColor(colour), 2}));
    }
    QCOMPARE(ops[5].rect, p);
    QCOMPARE(ops[5].fill, GetSfpColor(SFPCOLOR_LIGHTGRAY));
    QCOMPARE(ops[6].rect, form->m_pHisto->m_rect); // the chart follows, on the panel
    QCOMPARE(dc.Ops(DrawOpKind::Rectangle).size(), std::size_t(10)); // the bars
}

void TestHistPanel::lampAndColours() {
    AppFixture f;
    auto image = [&f] { return Form(f)->grab().toImage(); };
    auto lampCentre = [&f] { return DlgItem(Form(f), F::IDC_LAMP)->geometry().center(); };
    QCOMPARE(image().pixelColor(lampCentre()), QColor(64, 64, 64));
    f.app.m_statusColor = Rgb(0, 255, 0); // shown by the next form opened
    f.Command(ID_PANELS_HISTOGRAM);
    QCOMPARE(image().pixelColor(lampCentre()), QColor(0, 255, 0));
    // Dark grey around the panel, the teal bar on top.
    QCOMPARE(image().pixelColor(1, 200), QColor(64, 64, 64));
    const QPoint bar = DlgItem(Form(f), F::IDC_TOPBAR)->geometry().center();
    QCOMPARE(image().pixelColor(bar), QColor(0, 128, 128));
}

void TestHistPanel::periodConversion_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("ms");
    QTest::newRow("7") << "7" << 7000u;
    QTest::newRow("no digits") << "abc" << 0u;
    QTest::newRow("-3") << "-3" << 4294964296u;
    QTest::newRow("blanks, sign, tail") << " \t\n+12s5" << 12000u;
    QTest::newRow("blank after sign") << "- 4" << 0u;
    QTest::newRow("wraps past 2^32 ms") << "4294968" << 704u;
    QTest::newRow("2^32+1 s") << "4294967297" << 1000u;
    // 10^499 is a multiple of 2^32; leading zeros change nothing.
    QTest::newRow("500 digits") << "-1" + QString(499, '0') << 0u;
    QTest::newRow("500 digits, last 9") << QString(499, '0') + "9" << 9000u;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0663") << 0u;
}

void TestHistPanel::periodConversion() {
    QFETCH(QString, text);
    QFETCH(quint32, ms);
    QCOMPARE(PeriodTextToMilliseconds(text), ms);
}

// Setup shows the interval in whole seconds and takes it back on OK only; History Reset
// leaves the chart alone.
void TestHistPanel::setupAndResetButtons() {
    AppFixture f;
    f.app.m_updateInterval = 2500;
    QString shown;
    auto setup = [&](const QString& text, int button) {
        QTimer::singleShot(0, [&shown, text, button] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* period = DlgItemAs<QLineEdit>(dialog, CHistSetupDlg::IDC_PERIOD);
            shown = period->text();
            period->selectAll();
            QTest::keyClicks(period, text);
            Click(dialog, button);
        });
        Click(Form(f), F::IDC_SETUP);
    };
    setup("9", 2); // Cancel
    QCOMPARE(shown, QString("2"));
    QCOMPARE(f.app.m_updateInterval, 2500u);
    setup("-3", 1);
    QCOMPARE(f.app.m_updateInterval, 4294964296u);
    setup("abc", 1);
    QCOMPARE(shown, QString("4294964"));
    QCOMPARE(f.app.m_updateInterval, 0u);

    f.Instrument()->calls.clear();
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        QCOMPARE(dialog->windowTitle(), QString("HIstory Reset"));
        Click(dialog, 1092); // Reset All
        Click(dialog, 1);    // OK
    });
    Click(Form(f), F::IDC_HISTRESET);
    QCOMPARE(f.Instrument()->calls, QStringList({"ResetHistory(ALL,)"}));
}

QTEST_MAIN(TestHistPanel)
#include "tst_histpanel.moc"
