// The histogram panel in the running program, on the scriptable test instrument.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "controls/ColorLabel.h"
#include "controls/SfpColor.h"
#include "histogram/HistResetDlg.h"
#include "histogram/HistSetupDlg.h"
#include "histogram/Pan1Form.h"
#include "histogram/Pan1Obj.h"
#include "platform/DialogBuilder.h"
#include "platform/RecordingDrawContext.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace platform;
using F = CPan1Form;

namespace {

CPan1Form* Form(const AppFixture& f) {
    return qobject_cast<CPan1Form*>(f.Frame()->centralWidget());
}

QComboBox* Combo(const QWidget* form, int id) {
    return DlgItemAs<QComboBox>(form, id);
}

QString Text(const QWidget* form, int id) {
    return DlgItemAs<QLabel>(form, id)->text();
}

QStringList Entries(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) {
        out << combo->itemText(i);
    }
    return out;
}

// Chooses a list entry as the operator's click does.
void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void Click(const QWidget* form, int id) {
    QTest::mouseClick(DlgItem(form, id), Qt::LeftButton);
}

QStringList Histograms(const QStringList& calls) {
    return calls.filter(QStringLiteral("GetHistogram"));
}

QStringList ThreeParts(int code) {
    return {QStringLiteral("GetHistogram(%1,0)").arg(code),
            QStringLiteral("GetHistogram(%1,1)").arg(code),
            QStringLiteral("GetHistogram(%1,2)").arg(code)};
}

// Runs act on the modal dialog that opens next; a dialog left open is rejected.
void OnNextModal(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog != nullptr);
        act(dialog);
        if (dialog->isVisible()) {
            qobject_cast<QDialog*>(dialog)->reject();
        }
    });
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
    void kindsAndCodes_data();
    void kindsAndCodes();
    void temperatureList();
    void kindChangeReadsTwice();
    void failedReadingKeepsChart();
    void failedRebuildStillSetsUpKind();
    void choicesOutliveTheForm();
    void readingDrawsAtOnce();
    void paintsRaisedPanelWithChart();
    void lampColour();
    void periodConversion_data();
    void periodConversion();
    void setupDialogRoundTrip();
    void histResetLeavesChart();
};

void TestHistPanel::firstStart() {
    AppFixture f;
    CPan1Form* form = Form(f);
    QVERIFY(form != nullptr);
    QCOMPARE(Histograms(f.Instrument()->calls), ThreeParts(50));
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentText(), QString("BLOWER"));
    QCOMPARE(Entries(Combo(form, F::IDC_OBJECTLIST)), QStringList({"BLOWER1", "BLOWER2"}));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("BLOWER1"));
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Blower #"));
    QCOMPARE(Text(form, F::IDC_TITLE), QString("Blower RPM histogram"));
    QCOMPARE(form->m_pHisto->Label(), QString("RPM"));
    QCOMPARE(DlgItemAs<CColorLabel>(form, F::IDC_INSTRUMENTNAME)->Text(), QString("Emulated"));

    // The top bar is raised, the labels inside the panel sunken.
    const auto* topBar = DlgItemAs<CColorLabel>(form, F::IDC_TOPBAR);
    QCOMPARE(topBar->BorderColor1(), GetSfpColor(SFPCOLOR_HIGHLIGHT));
    QCOMPARE(topBar->BorderColor2(), GetSfpColor(SFPCOLOR_SHADOW));
    QCOMPARE(DlgItemAs<CColorLabel>(form, F::IDC_PANELBAR)->BorderColor1(),
             GetSfpColor(SFPCOLOR_SHADOW));
    for (int id : {F::IDC_SPARELABEL, F::IDC_SLOTTEXT, F::IDC_CHARTAREA}) {
        QVERIFY2(DlgItem(form, id)->isHidden(), qPrintable(QString::number(id)));
    }
    // The chart fills the invisible group box, drawn in the form's font without a frame.
    QCOMPARE(form->m_pHisto->m_rect, Rect::FromQRect(DlgItem(form, F::IDC_CHARTAREA)->geometry()));
    QCOMPARE(form->m_pHisto->m_pFontWnd, form);
    QCOMPARE(form->m_pHisto->m_nFrameStyle, std::int16_t(2));
    // The frame's client area is the form.
    QCOMPARE(f.Frame()->centralWidget()->size(), form->size());
}

void TestHistPanel::kindsAndCodes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("object");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("unit");
    QTest::newRow("BLOWER2") << 0 << 1 << 51 << "Blower #"
                             << "Blower RPM histogram"
                             << "RPM";
    QTest::newRow("CURRENT N2") << 1 << 6 << 41 << "Supply: "
                                << "Current Histogram"
                                << "mA";
    QTest::newRow("POWER N2") << 2 << 6 << 33 << "Supply: "
                              << "Power Histogram"
                              << "mW";
    QTest::newRow("VOLT N2") << 4 << 6 << 48 << "Supply: "
                             << "Volt Histogram"
                             << "mV";
    QTest::newRow("VOLT P5") << 4 << 0 << 42 << "Supply: "
                             << "Volt Histogram"
                             << "mV";
}

void TestHistPanel::kindsAndCodes() {
    QFETCH(int, kind);
    QFETCH(int, object);
    QFETCH(int, code);
    AppFixture f;
    CPan1Form* form = Form(f);
    Choose(Combo(form, F::IDC_KINDLIST), kind);
    QFETCH(QString, label);
    QFETCH(QString, title);
    QFETCH(QString, unit);
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), label);
    QCOMPARE(Text(form, F::IDC_TITLE), title);
    QCOMPARE(form->m_pHisto->Label(), unit);
    f.Instrument()->calls.clear();
    Choose(Combo(form, F::IDC_OBJECTLIST), object);
    QCOMPARE(Histograms(f.Instrument()->calls), ThreeParts(code));
    if (kind != BLOWER) {
        QCOMPARE(Entries(Combo(form, F::IDC_OBJECTLIST)),
                 QStringList({"P5", "P12", "N12", "P24", "N24", "N5PT2", "N2"}));
    }
}

void TestHistPanel::temperatureList() {
    AppFixture f;
    CPan1Form* form = Form(f);
    form->m_pPanel->m_nSensor = 26;
    Choose(Combo(form, F::IDC_KINDLIST), TEMPERATURE);
    const QStringList entries = Entries(Combo(form, F::IDC_OBJECTLIST));
    QCOMPARE(entries.size(), 27);
    QCOMPARE(entries.mid(0, 2), QStringList({"OUT0", "OUT1"}));
    QCOMPARE(entries.mid(9, 5), QStringList({"OUT9", "OUT10", "OUT11", "OUT12", "DELT0"}));
    QCOMPARE(entries.mid(25), QStringList({"DELT12", "Ambient"}));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentIndex(), 26); // the remembered sensor
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Slot: "));
    QCOMPARE(Text(form, F::IDC_TITLE), QString("Temperature Histogram"));
    QCOMPARE(form->m_pHisto->Label(), QString(".1 deg. C"));
    QCOMPARE(Histograms(f.Instrument()->calls).mid(3), ThreeParts(26) + ThreeParts(26));
    // A temperature reading asks for the sensor the list shows at that moment.
    f.Instrument()->calls.clear();
    Combo(form, F::IDC_OBJECTLIST)->setCurrentIndex(13);
    Click(form, F::IDC_TAKEREADING);
    QCOMPARE(Histograms(f.Instrument()->calls), ThreeParts(13));
}

void TestHistPanel::kindChangeReadsTwice() {
    AppFixture f;
    CPan1Form* form = Form(f);
    f.Instrument()->calls.clear();
    Choose(Combo(form, F::IDC_KINDLIST), CURRENT);
    QCOMPARE(f.Instrument()->calls, ThreeParts(35) + ThreeParts(35));
    QCOMPARE(form->m_pPanel->m_nType, int(CURRENT));
}

void TestHistPanel::failedReadingKeepsChart() {
    AppFixture f;
    CPan1Form* form = Form(f);
    CTestInstrument* instrument = f.Instrument();
    instrument->histogramParts[0] = {5, 6, 7, 8, 9, 10, 9, 8, 7, 6};
    instrument->histogramParts[1] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    instrument->histogramParts[2] = {9, 19, 29, 39, 49, 59, 69, 79, 89, 99};
    Click(form, F::IDC_TAKEREADING);
    QCOMPARE(form->m_pHisto->m_dYMin, 5.0);
    QCOMPARE(form->m_pHisto->m_pBins[5].nCount, 10);

    instrument->histogramParts[0].fill(1);
    instrument->failStatus = -1073807360; // a driver status with its own text
    instrument->failOn = "GetHistogram";
    PaintCounter paints;
    form->installEventFilter(&paints);
    Click(form, F::IDC_TAKEREADING);
    QCOMPARE(f.boxes.Boxes(), std::vector<QString>{"Driver status text"});
    QCOMPARE(form->m_pHisto->m_dYMin, 5.0);
    QCOMPARE(form->m_pHisto->XMax(), 99.0);
    QCOMPARE(form->m_pHisto->m_pBins[5].nCount, 10);
    QCOMPARE(paints.count, 0);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestHistPanel::failedRebuildStillSetsUpKind() {
    AppFixture f;
    CPan1Form* form = Form(f);
    f.Instrument()->failStatus = -1073807339;
    form->m_pPanel->m_nType = POWER;
    form->m_pPanel->m_nSupply = 3;
    form->RebuildHistogram();
    QCOMPARE(f.boxes.Boxes().size(), std::size_t(1));
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentIndex(), int(POWER));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("P24"));
    QCOMPARE(Text(form, F::IDC_OBJECTLABEL), QString("Supply: "));
    QCOMPARE(Text(form, F::IDC_TITLE), QString("Power Histogram"));
    // A new, empty chart: no bars, no unit.
    QCOMPARE(form->m_pHisto->m_dYMax, 0.0);
    QCOMPARE(form->m_pHisto->m_pBins[9].dHigh, 0.0);
    QCOMPARE(form->m_pHisto->Label(), QString());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestHistPanel::choicesOutliveTheForm() {
    AppFixture f;
    Choose(Combo(Form(f), F::IDC_KINDLIST), TEMPERATURE);
    Choose(Combo(Form(f), F::IDC_OBJECTLIST), 14);
    f.Command(ID_PANELS_READINGS);
    QVERIFY(Form(f) == nullptr);
    f.Instrument()->calls.clear();
    f.Command(ID_PANELS_HISTOGRAM);
    CPan1Form* form = Form(f);
    QCOMPARE(Combo(form, F::IDC_KINDLIST)->currentText(), QString("TEMPERATURE"));
    QCOMPARE(Combo(form, F::IDC_OBJECTLIST)->currentText(), QString("DELT1"));
    QCOMPARE(Histograms(f.Instrument()->calls), ThreeParts(14));

    Choose(Combo(form, F::IDC_KINDLIST), BLOWER);
    Choose(Combo(form, F::IDC_OBJECTLIST), 1);
    Choose(Combo(form, F::IDC_KINDLIST), VOLT);
    Choose(Combo(form, F::IDC_OBJECTLIST), 5);
    const auto* panel = form->m_pPanel;
    QCOMPARE(panel->m_nBlower, 2);
    QCOMPARE(panel->m_nSupply, 5);
    QCOMPARE(panel->m_nSensor, 14);
}

void TestHistPanel::readingDrawsAtOnce() {
    AppFixture f;
    CPan1Form* form = Form(f);
    QVERIFY(QTest::qWaitForWindowExposed(f.Frame()));
    PaintCounter paints;
    form->installEventFilter(&paints);
    form->TakeReading();
    QCOMPARE(paints.count, 1);
    // Enter presses the default button "Take Reading" and never closes the form.
    f.Instrument()->calls.clear();
    DlgItem(form, F::IDC_TAKEREADING)->setFocus();
    QTest::keyClick(form, Qt::Key_Return);
    QCOMPARE(Histograms(f.Instrument()->calls).size(), 3);
    QTest::keyClick(form, Qt::Key_Escape);
    QCOMPARE(Form(f), form);
}

void TestHistPanel::paintsRaisedPanelWithChart() {
    AppFixture f;
    CPan1Form* form = Form(f);
    RecordingDrawContext dc;
    form->Paint(dc);
    const auto& ops = dc.Ops();
    QVERIFY(ops.size() > 6);
    QCOMPARE(ops[0].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[0].rect, Rect::FromQRect(form->rect()));
    QCOMPARE(ops[0].fill, GetSfpColor(SFPCOLOR_DARKGRAY));
    Rect panel = Rect::FromQRect(DlgItem(form, F::IDC_PANELFRAME)->geometry());
    panel.Deflate(2);
    const Point corners[] = {{panel.left, panel.bottom},
                             {panel.left, panel.top},
                             {panel.right, panel.top},
                             {panel.right, panel.bottom},
                             {panel.left, panel.bottom}};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ops[1 + i].kind, DrawOpKind::LineTo);
        QCOMPARE(ops[1 + i].from, corners[i]);
        QCOMPARE(ops[1 + i].to, corners[i + 1]);
        QCOMPARE(ops[1 + i].pen,
                 (Pen{GetSfpColor(i < 2 ? SFPCOLOR_HIGHLIGHT : SFPCOLOR_SHADOW), 2}));
    }
    QCOMPARE(ops[5].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[5].rect, panel);
    QCOMPARE(ops[5].fill, GetSfpColor(SFPCOLOR_LIGHTGRAY));
    // The chart follows on the panel: its background, then ten bars of the emulated
    // answer (the test instrument answers all zeros until scripted, so script it).
    QCOMPARE(ops[6].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[6].rect, form->m_pHisto->m_rect);

    f.Instrument()->histogramParts = {{{0, 2, 4, 6, 8, 10, 12, 14, 16, 18},
                                       {0, 250, 500, 750, 1000, 1250, 1500, 1750, 2000, 2250},
                                       {249, 499, 749, 999, 1249, 1499, 1749, 1999, 2249, 2499}}};
    form->TakeReading();
    RecordingDrawContext after;
    form->Paint(after);
    const auto bars = after.Ops(DrawOpKind::Rectangle);
    QCOMPARE(bars.size(), std::size_t(10));
    QCOMPARE(bars[9].brush.color, Rgb(128, 0, 0));
    QCOMPARE(bars[9].pen, (Pen{Rgb(0, 0, 0), 1}));
    QCOMPARE(after.CurrentPen(), Pen{});
}

void TestHistPanel::lampColour() {
    AppFixture f;
    auto lampPixel = [&f] {
        const QWidget* lamp = DlgItem(Form(f), F::IDC_LAMP);
        return Form(f)->grab().toImage().pixelColor(lamp->geometry().center());
    };
    QCOMPARE(lampPixel(), QColor(64, 64, 64));
    // The lamp takes the status colour of the moment its form opens.
    f.app.m_statusColor = Rgb(0, 255, 0);
    QCOMPARE(lampPixel(), QColor(64, 64, 64));
    f.Command(ID_PANELS_HISTOGRAM);
    QCOMPARE(lampPixel(), QColor(0, 255, 0));
    // A click on it does nothing.
    f.Instrument()->calls.clear();
    Click(Form(f), F::IDC_LAMP);
    QVERIFY(f.Instrument()->calls.isEmpty());
    // Around the panel dark grey, the panel light grey, the top bar teal.
    const QImage image = Form(f)->grab().toImage();
    QCOMPARE(image.pixelColor(1, image.height() / 2), QColor(64, 64, 64));
    const QRect kindList = DlgItem(Form(f), F::IDC_KINDLIST)->geometry();
    QCOMPARE(image.pixelColor(kindList.left() - 2, kindList.bottom() + 3), QColor(192, 192, 192));
    const QRect topBar = DlgItem(Form(f), F::IDC_TOPBAR)->geometry();
    QCOMPARE(image.pixelColor(topBar.center().x(), topBar.center().y()), QColor(0, 128, 128));
}

void TestHistPanel::periodConversion_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("ms");
    QTest::newRow("7") << "7" << 7000u;
    QTest::newRow("no digits") << "abc" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("-3") << "-3" << 4294964296u;
    QTest::newRow("blanks, sign, tail") << " \t\n+12s5" << 12000u;
    QTest::newRow("sign alone") << "-" << 0u;
    QTest::newRow("blank after sign") << "- 4" << 0u;
    QTest::newRow("largest exact") << "4294967" << 4294967000u;
    QTest::newRow("wraps past 2^32 ms") << "4294968" << 704u;
    QTest::newRow("2^32 s") << "4294967296" << 0u;
    QTest::newRow("2^32+1 s") << "4294967297" << 1000u;
    // 10^499 is a multiple of 2^32; 499 leading zeros do not change a value.
    QTest::newRow("500 digits") << "1" + QString(499, '0') << 0u;
    QTest::newRow("500 digits, last 9") << QString(499, '0') + "9" << 9000u;
    QTest::newRow("-500 digits") << "-1" + QString(499, '0') + "x" << 0u;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0663") << 0u;
}

void TestHistPanel::periodConversion() {
    QFETCH(QString, text);
    QFETCH(quint32, ms);
    QCOMPARE(PeriodTextToMilliseconds(text), ms);
}

void TestHistPanel::setupDialogRoundTrip() {
    AppFixture f;
    f.app.m_updateInterval = 2500;
    QString shown;
    auto enter = [&shown](const QString& text, int button) {
        OnNextModal([&shown, text, button](QWidget* dialog) {
            auto* period = DlgItemAs<QLineEdit>(dialog, CHistSetupDlg::IDC_PERIOD);
            shown = period->text();
            period->selectAll();
            QTest::keyClicks(period, text);
            QTest::mouseClick(DlgItem(dialog, button), Qt::LeftButton);
        });
    };
    enter("9", 2); // Cancel
    Click(Form(f), F::IDC_SETUP);
    QCOMPARE(shown, QString("2"));
    QCOMPARE(f.app.m_updateInterval, 2500u);

    enter("7", 1);
    Click(Form(f), F::IDC_SETUP);
    QCOMPARE(f.app.m_updateInterval, 7000u);

    enter("-3", 1);
    Click(Form(f), F::IDC_SETUP);
    QCOMPARE(f.app.m_updateInterval, 4294964296u);
    // Shown as whole seconds of the unsigned interval.
    enter("abc", 1);
    Click(Form(f), F::IDC_SETUP);
    QCOMPARE(shown, QString("4294964"));
    QCOMPARE(f.app.m_updateInterval, 0u);
}

void TestHistPanel::histResetLeavesChart() {
    AppFixture f;
    f.Instrument()->calls.clear();
    OnNextModal([](QWidget* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("HIstory Reset"));
        QTest::mouseClick(DlgItem(dialog, CHistResetDlg::IDC_RESETALL), Qt::LeftButton);
        QTest::mouseClick(DlgItem(dialog, 1), Qt::LeftButton);
    });
    Click(Form(f), F::IDC_HISTRESET);
    QCOMPARE(f.Instrument()->calls, QStringList({"ResetHistory(ALL,)"}));
}

QTEST_MAIN(TestHistPanel)
#include "tst_histpanel.moc"
