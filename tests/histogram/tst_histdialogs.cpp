// The Histogram Setup and History Reset dialogs, run modally and driven as the operator
// drives them, on the scriptable test instrument.
#include "AppFixture.h"
#include "histogram/HistResetDlg.h"
#include "histogram/HistSetupDlg.h"
#include "platform/DialogBuilder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

using platform::DlgItem;
using platform::DlgItemAs;
using R = CHistResetDlg;

namespace {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int kTimeOut = -1073807339;

// Runs the dialog modally while act drives it; a dialog act leaves open is rejected.
int Run(QDialog& dialog, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        act();
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

void Type(const QWidget* dialog, int id, const QString& text) {
    QLineEdit* edit = Field(dialog, id)->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

} // namespace

class TestHistDialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { m_f = std::make_unique<AppFixture>(); }
    void cleanup() { m_f.reset(); }
    void setupSelectsAndSendsUnit();
    void setupFailures();
    void resetButtons();
    void resetTypedAndEmptyNames();

private:
    std::unique_ptr<AppFixture> m_f;
    QStringList& Calls() const { return m_f->Instrument()->calls; }
};

// The unit read at opening is selected (hours for a code outside 17..19) and OK sends the
// selection; the period text travels through untouched. Cancel and Esc send nothing.
void TestHistDialogs::setupSelectsAndSendsUnit() {
    const struct {
        int read;
        const char* shown;
        int choose; // list position chosen before OK, -1 to keep
        int close;
        const char* sent;
    } cases[] = {{18, "MIN", -1, IDOK, "SetTimeUnits(18)"},
                 {0, "HOUR", -1, IDOK, "SetTimeUnits(17)"},
                 {20, "HOUR", 2, IDOK, "SetTimeUnits(19)"},
                 {19, "SEC", 0, IDCANCEL, nullptr},
                 {17, "HOUR", 2, 0, nullptr}};
    for (const auto& c : cases) {
        Calls().clear();
        m_f->Instrument()->timeUnits = c.read;
        CHistSetupDlg dialog(m_f->Frame());
        dialog.m_strPeriod = "12 s";
        QString shown, period;
        const int result = Run(dialog, [&] {
            shown = Field(&dialog, CHistSetupDlg::IDC_UNITS)->currentText();
            period = DlgItemAs<QLineEdit>(&dialog, CHistSetupDlg::IDC_PERIOD)->text();
            if (c.choose >= 0) {
                Field(&dialog, CHistSetupDlg::IDC_UNITS)->setCurrentIndex(c.choose);
            }
            c.close != 0 ? Click(&dialog, c.close) : QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QCOMPARE(shown, QString(c.shown));
        QCOMPARE(period, QString("12 s"));
        QStringList expected{"GetTimeUnits()"};
        if (c.sent != nullptr) {
            expected << c.sent;
        }
        QCOMPARE(Calls(), expected);
        QCOMPARE(result, int(c.sent != nullptr ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.m_strPeriod, QString("12 s"));
    }
    QCOMPARE(CHistSetupDlg().windowTitle(), QString("Histogram Setup"));
}

// A unit that could not be read is not guessed: nothing selected, OK sends none. A unit
// that could not be sent still ends in OK, so the panel takes the period.
void TestHistDialogs::setupFailures() {
    Calls().clear();
    m_f->Instrument()->failStatus = kTimeOut;
    CHistSetupDlg dialog(m_f->Frame());
    int selected = 0;
    int result = Run(dialog, [&] {
        selected = Field(&dialog, CHistSetupDlg::IDC_UNITS)->currentIndex();
        Click(&dialog, IDOK);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(selected, -1);
    QCOMPARE(Calls(), QStringList({"GetTimeUnits()"}));

    m_f->Instrument()->failStatus = kTimeOut;
    m_f->Instrument()->failOn = "SetTimeUnits";
    CHistSetupDlg again(m_f->Frame());
    result = Run(again, [&again] { QTest::keyClick(&again, Qt::Key_Return); });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(Calls().last(), QString("SetTimeUnits(17)"));
    QCOMPARE(m_f->boxes.Boxes(), std::vector<QString>(2, "Time Out !"));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

// Opened on the first entries; every button acts at once and the dialog stays open, a
// rejected reset included; OK only closes.
void TestHistDialogs::resetButtons() {
    R dialog(m_f->Frame());
    QCOMPARE(dialog.windowTitle(), QString("HIstory Reset"));
    QCOMPARE(Field(&dialog, R::IDC_SLOT)->count(), 27);
    Calls().clear();
    QList<bool> open;
    const int result = Run(dialog, [&] {
        Click(&dialog, R::IDC_RESETBLOWER);
        Click(&dialog, R::IDC_RESETTEMP);
        Click(&dialog, R::IDC_RESETPOWER);
        m_f->Instrument()->failStatus = kTimeOut;
        Click(&dialog, R::IDC_RESETVOLT);
        open << dialog.isVisible();
        Field(&dialog, R::IDC_SUPPLY)->setCurrentIndex(6);
        Field(&dialog, R::IDC_SLOT)->setCurrentIndex(26);
        for (int id : {R::IDC_RESETCURRENT, R::IDC_RESETTEMP, R::IDC_RESETQUE, R::IDC_RESETALL}) {
            Click(&dialog, id);
            open << dialog.isVisible();
        }
        Click(&dialog, IDOK);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(open, QList<bool>(5, true));
    QCOMPARE(m_f->boxes.Boxes().size(), std::size_t(1));
    QCOMPARE(Calls(), QStringList({"ResetHistory(BLOWER,BLOW1)", "ResetHistory(TEMP,OUT0)",
                                   "ResetHistory(POWER,P5)", "ResetHistory(VOLT,P5)",
                                   "ResetHistory(CURRENT,N2)", "ResetHistory(TEMP,AMBIENT)",
                                   "ResetHistory(Q,)", "ResetHistory(ALL,)"}));
}

// A field's text goes as it stands: typed, a bare prefix (no completion), the empty entry.
void TestHistDialogs::resetTypedAndEmptyNames() {
    R dialog(m_f->Frame());
    Calls().clear();
    Run(dialog, [&dialog] {
        Type(&dialog, R::IDC_BLOWER, "BLOW3");
        Click(&dialog, R::IDC_RESETBLOWER);
        Type(&dialog, R::IDC_BLOWER, "BLOW");
        Click(&dialog, R::IDC_RESETBLOWER);
        Field(&dialog, R::IDC_BLOWER)->setCurrentIndex(2);
        Click(&dialog, R::IDC_RESETBLOWER);
        Type(&dialog, R::IDC_SLOT, "out 3");
        Click(&dialog, R::IDC_RESETQUE);
        Click(&dialog, R::IDC_RESETTEMP);
    });
    QCOMPARE(Calls(), QStringList({"ResetHistory(BLOWER,BLOW3)", "ResetHistory(BLOWER,BLOW)",
                                   "ResetHistory(BLOWER,)", "ResetHistory(Q,)",
                                   "ResetHistory(TEMP,out 3)"}));
}

QTEST_MAIN(TestHistDialogs)
#include "tst_histdialogs.moc"
