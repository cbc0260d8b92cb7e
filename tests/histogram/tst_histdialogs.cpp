// The Histogram Setup and History Reset dialogs, run modally and driven as the operator
// drives them, on the scriptable test instrument.
#include "AppFixture.h"
#include "histogram/HistResetDlg.h"
#include "histogram/HistSetupDlg.h"
#include "platform/DialogBuilder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

using platform::DlgItem;
using platform::DlgItemAs;

namespace {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int kTimeOut = -1073807339;

// Runs dialog modally; act drives it once it is up. A dialog act leaves open is rejected.
template <class D> int Run(D& dialog, const std::function<void(D&)>& act) {
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        QCOMPARE(QApplication::activeModalWidget(), &dialog);
        act(dialog);
        if (dialog.isVisible()) {
            dialog.reject();
        }
    });
    return dialog.exec();
}

void Click(const QWidget* dialog, int id) {
    QTest::mouseClick(DlgItem(dialog, id), Qt::LeftButton);
}

QComboBox* Field(const QWidget* dialog, int id) {
    return DlgItemAs<QComboBox>(dialog, id);
}

} // namespace

class TestHistDialogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void setupSelectsInstrumentUnit_data();
    void setupSelectsInstrumentUnit();
    void setupSendsChosenUnit();
    void setupCancelSendsNothing();
    void setupAfterFailedRead();
    void setupFailedSendStillAccepts();

    void resetOpensOnFirstEntries();
    void resetButtonsSendKeywordAndName();
    void resetSendsTypedAndEmptyNames();
    void resetFailureKeepsDialogOpen();

private:
    std::unique_ptr<AppFixture> m_f;
    CTestInstrument* Instrument() const { return m_f->Instrument(); }
};

void TestHistDialogs::init() {
    m_f = std::make_unique<AppFixture>();
    Instrument()->calls.clear();
}

void TestHistDialogs::cleanup() {
    m_f.reset();
}

void TestHistDialogs::setupSelectsInstrumentUnit_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("shown");
    QTest::newRow("17") << 17 << "HOUR";
    QTest::newRow("18") << 18 << "MIN";
    QTest::newRow("19") << 19 << "SEC";
    QTest::newRow("0, the emulated answer") << 0 << "HOUR";
    QTest::newRow("20") << 20 << "HOUR";
    QTest::newRow("-1") << -1 << "HOUR";
}

// The unit is read at each opening and sent back unchanged by OK; the period text
// travels through untouched.
void TestHistDialogs::setupSelectsInstrumentUnit() {
    QFETCH(int, units);
    QFETCH(QString, shown);
    Instrument()->timeUnits = units;
    CHistSetupDlg dialog(m_f->Frame());
    dialog.m_strPeriod = "12 s";
    QString selected, period;
    const int result = Run<CHistSetupDlg>(dialog, [&](CHistSetupDlg& d) {
        QCOMPARE(d.windowTitle(), QString("Histogram Setup"));
        selected = Field(&d, CHistSetupDlg::IDC_UNITS)->currentText();
        period = DlgItemAs<QLineEdit>(&d, CHistSetupDlg::IDC_PERIOD)->text();
        Click(&d, IDOK);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(selected, shown);
    QCOMPARE(period, QString("12 s"));
    QCOMPARE(dialog.m_strPeriod, QString("12 s"));
    const int sent = shown == "HOUR" ? 17 : shown == "MIN" ? 18 : 19;
    QCOMPARE(Instrument()->calls,
             QStringList({"GetTimeUnits()", QStringLiteral("SetTimeUnits(%1)").arg(sent)}));
}

void TestHistDialogs::setupSendsChosenUnit() {
    CHistSetupDlg dialog(m_f->Frame());
    Run<CHistSetupDlg>(dialog, [](CHistSetupDlg& d) {
        QComboBox* units = Field(&d, CHistSetupDlg::IDC_UNITS);
        units->setFocus();
        QTest::keyClick(units, Qt::Key_Down);
        QTest::keyClick(units, Qt::Key_Down); // HOUR -> MIN -> SEC
        QTest::keyClick(&d, Qt::Key_Return);  // the default button, OK
    });
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.m_nUnits, 2);
    QCOMPARE(Instrument()->calls.last(), QString("SetTimeUnits(19)"));
}

void TestHistDialogs::setupCancelSendsNothing() {
    for (int button : {IDCANCEL, 0}) { // Cancel, then Esc
        Instrument()->calls.clear();
        CHistSetupDlg dialog(m_f->Frame());
        const int result = Run<CHistSetupDlg>(dialog, [button](CHistSetupDlg& d) {
            Field(&d, CHistSetupDlg::IDC_UNITS)->setCurrentIndex(2);
            button != 0 ? Click(&d, button) : QTest::keyClick(&d, Qt::Key_Escape);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(Instrument()->calls, QStringList({"GetTimeUnits()"}));
    }
}

// A unit that could not be read is not guessed: nothing is selected and OK sends none.
void TestHistDialogs::setupAfterFailedRead() {
    Instrument()->failStatus = kTimeOut;
    CHistSetupDlg dialog(m_f->Frame());
    dialog.m_strPeriod = "5";
    int selected = 0;
    const int result = Run<CHistSetupDlg>(dialog, [&selected](CHistSetupDlg& d) {
        selected = Field(&d, CHistSetupDlg::IDC_UNITS)->currentIndex();
        Click(&d, IDOK);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(selected, -1);
    QCOMPARE(dialog.m_nUnits, -1);
    QCOMPARE(dialog.m_strPeriod, QString("5"));
    QCOMPARE(m_f->boxes.Boxes().size(), std::size_t(1));
    QCOMPARE(Instrument()->calls, QStringList({"GetTimeUnits()"}));
}

void TestHistDialogs::setupFailedSendStillAccepts() {
    Instrument()->failStatus = kTimeOut;
    Instrument()->failOn = "SetTimeUnits";
    CHistSetupDlg dialog(m_f->Frame());
    const int result = Run<CHistSetupDlg>(dialog, [](CHistSetupDlg& d) { Click(&d, IDOK); });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(m_f->boxes.Boxes().size(), std::size_t(1));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestHistDialogs::resetOpensOnFirstEntries() {
    CHistResetDlg dialog(m_f->Frame());
    QCOMPARE(dialog.windowTitle(), QString("HIstory Reset"));
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_BLOWER)->currentText(), QString("BLOW1"));
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_SUPPLY)->currentText(), QString("P5"));
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_SLOT)->currentText(), QString("OUT0"));
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_BLOWER)->count(), 3);
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_SUPPLY)->count(), 7);
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_SLOT)->count(), 27);
    QCOMPARE(Field(&dialog, CHistResetDlg::IDC_SLOT)->itemText(26), QString("AMBIENT"));
    QVERIFY(Field(&dialog, CHistResetDlg::IDC_SLOT)->isEditable());
}

// Every button acts at once and leaves the dialog open; OK only closes it.
void TestHistDialogs::resetButtonsSendKeywordAndName() {
    CHistResetDlg dialog(m_f->Frame());
    QList<bool> openAfter;
    const int result = Run<CHistResetDlg>(dialog, [&openAfter](CHistResetDlg& d) {
        using D = CHistResetDlg;
        Field(&d, D::IDC_SUPPLY)->setCurrentIndex(6);
        Field(&d, D::IDC_SLOT)->setCurrentIndex(26);
        for (int id : {D::IDC_RESETBLOWER, D::IDC_RESETCURRENT, D::IDC_RESETPOWER, D::IDC_RESETVOLT,
                       D::IDC_RESETTEMP, D::IDC_RESETQUE, D::IDC_RESETALL}) {
            Click(&d, id);
            openAfter << d.isVisible();
        }
        Click(&d, IDOK);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(openAfter, QList<bool>(7, true));
    QCOMPARE(Instrument()->calls,
             QStringList({"ResetHistory(BLOWER,BLOW1)", "ResetHistory(CURRENT,N2)",
                          "ResetHistory(POWER,N2)", "ResetHistory(VOLT,N2)",
                          "ResetHistory(TEMP,AMBIENT)", "ResetHistory(Q,)", "ResetHistory(ALL,)"}));
}

void TestHistDialogs::resetSendsTypedAndEmptyNames() {
    CHistResetDlg dialog(m_f->Frame());
    Run<CHistResetDlg>(dialog, [](CHistResetDlg& d) {
        QComboBox* blower = Field(&d, CHistResetDlg::IDC_BLOWER);
        blower->lineEdit()->selectAll();
        QTest::keyClicks(blower->lineEdit(), "BLOW3");
        Click(&d, CHistResetDlg::IDC_RESETBLOWER);
        // Typing a prefix sends the prefix, not the entry it begins.
        blower->lineEdit()->selectAll();
        QTest::keyClicks(blower->lineEdit(), "BLOW");
        Click(&d, CHistResetDlg::IDC_RESETBLOWER);
        blower->setCurrentIndex(2); // the empty third entry
        Click(&d, CHistResetDlg::IDC_RESETBLOWER);
        // The queue and everything go without a name whatever the fields show.
        QComboBox* slot = Field(&d, CHistResetDlg::IDC_SLOT);
        slot->lineEdit()->selectAll();
        QTest::keyClicks(slot->lineEdit(), "out 3");
        Click(&d, CHistResetDlg::IDC_RESETQUE);
        Click(&d, CHistResetDlg::IDC_RESETTEMP);
        d.reject(); // the close box: no reset
    });
    QCOMPARE(Instrument()->calls, QStringList({"ResetHistory(BLOWER,BLOW3)",
                                               "ResetHistory(BLOWER,BLOW)", "ResetHistory(BLOWER,)",
                                               "ResetHistory(Q,)", "ResetHistory(TEMP,out 3)"}));
    QCOMPARE(dialog.m_strBlower, QString());
    QCOMPARE(dialog.m_strSlot, QString("out 3"));
}

void TestHistDialogs::resetFailureKeepsDialogOpen() {
    Instrument()->failStatus = kTimeOut;
    CHistResetDlg dialog(m_f->Frame());
    bool open = false;
    Run<CHistResetDlg>(dialog, [&open](CHistResetDlg& d) {
        Click(&d, CHistResetDlg::IDC_RESETVOLT);
        open = d.isVisible();
        Click(&d, CHistResetDlg::IDC_RESETVOLT);
        Click(&d, IDOK);
    });
    QVERIFY(open);
    QCOMPARE(m_f->boxes.Boxes().size(), std::size_t(1));
    QCOMPARE(Instrument()->calls, QStringList({"ResetHistory(VOLT,P5)", "ResetHistory(VOLT,P5)"}));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

QTEST_MAIN(TestHistDialogs)
#include "tst_histdialogs.moc"
