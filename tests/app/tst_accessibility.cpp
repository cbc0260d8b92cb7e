// What an accessibility client reads, through Qt's accessibility interface: the displays'
// texts and roles, the lamp's state, the chart's values, and the label of every field.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "histogram/HistResetDlg.h"
#include "histogram/HistSetupDlg.h"
#include "histogram/Pan1Form.h"
#include "panels/Panel.h"
#include "panels/ReadForm.h"
#include "platform/DialogBuilder.h"

#include <QAccessible>
#include <QtTest>

#include <functional>

namespace {

QAccessibleInterface* Face(QWidget* widget) {
    return widget != nullptr ? QAccessible::queryAccessibleInterface(widget) : nullptr;
}

QString Name(QWidget* widget) {
    QAccessibleInterface* face = Face(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QStringLiteral("<none>");
}

// The text of the label an accessibility client announces with the field.
QString LabelOf(QWidget* field) {
    QAccessibleInterface* face = Face(field);
    if (face == nullptr) {
        return QStringLiteral("<none>");
    }
    const auto labels = face->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

QWidget* Form(const AppFixture& fx) {
    return fx.app.m_pCurrentPanel->m_pForm.data();
}

QAccessibleInterface* ChartFace(QWidget* form) {
    for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (QAccessibleInterface* face = Face(w); face && face->role() == QAccessible::Chart) {
            return face;
        }
    }
    return nullptr;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void displaysAreNamedNotFiller();
    void everyFieldLabelledByTheTextBesideIt();
};

void TestAccessibility::displaysAreNamedNotFiller() {
    AppFixture fx;
    fx.Instrument()->histogramParts = {{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                                        {0, 10, 20, 30, 40, 50, 60, 70, 80, 90},
                                        {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}}};
    fx.app.m_instrumentName = QStringLiteral("VXI0::24");
    fx.Command(ID_PANELS_HISTOGRAM); // a fresh form, filled from the values above
    QWidget* histogram = Form(fx);
    QAccessibleInterface* name = Face(platform::DlgItem(histogram, CPan1Form::IDC_INSTRUMENTNAME));
    QCOMPARE(name->role(), QAccessible::StaticText);
    QCOMPARE(name->text(QAccessible::Name), QStringLiteral("VXI0::24"));
    QCOMPARE(Face(platform::DlgItem(histogram, CPan1Form::IDC_TOPBAR))->role(),
             QAccessible::StaticText);
    QCOMPARE(Name(platform::DlgItem(histogram, CPan1Form::IDC_LAMP)), QStringLiteral("Emulated"));
    QCOMPARE(Name(platform::DlgItem(histogram, CPan1Form::IDC_BADGE)),
             QStringLiteral("Plug & Play Ready"));

    QAccessibleInterface* chart = ChartFace(histogram);
    QVERIFY(chart != nullptr);
    QCOMPARE(chart->text(QAccessible::Name), QStringLiteral("Blower RPM histogram"));
    const QString description = chart->text(QAccessible::Description);
    QVERIFY2(description.contains(QStringLiteral("Horizontal axis 0 to 100 RPM; vertical axis 1 "
                                                 "to 10. Bins: 0 to 10: 1; 10 to 20: 2;")),
             qPrintable(description));
    QVERIFY2(description.endsWith(QStringLiteral("90 to 100: 10.")), qPrintable(description));

    fx.Command(ID_PANELS_READINGS);
    auto* readings = qobject_cast<CReadForm*>(Form(fx));
    fx.Instrument()->levels = {1.5, 2, 3};
    readings->TakeReading();
    QCOMPARE(Name(&readings->m_display), QStringLiteral("Front: 1.5 middle: 2 rear: 3"));
}

void TestAccessibility::everyFieldLabelledByTheTextBesideIt() {
    AppFixture fx;
    struct Case {
        std::function<QWidget*()> dialog;
        int field;
        const char* label;
    };
    CHistSetupDlg setup;
    CHistResetDlg reset;
    const std::function<QWidget*()> histogram = [&] {
        fx.Command(ID_PANELS_HISTOGRAM);
        return Form(fx);
    };
    const std::function<QWidget*()> readings = [&] {
        fx.Command(ID_PANELS_READINGS);
        return Form(fx);
    };
    const Case cases[] = {
        {histogram, CPan1Form::IDC_KINDLIST, "Histogram type:"},
        {histogram, CPan1Form::IDC_OBJECTLIST, "Blower #"}, // follows the chosen kind
        {readings, IDC_OBJECT_LIST, "Object (slot etc.)"},  // its group box
        {readings, IDC_LIMIT, "Limit"},
        {readings, IDC_MESSAGE, "Display Message"},
        {[&] { return &setup; }, CHistSetupDlg::IDC_PERIOD, "Auto Update frequency (seconds):"},
        {[&] { return &setup; }, CHistSetupDlg::IDC_UNITS, "Histogram time units:"},
        {[&] { return &reset; }, CHistResetDlg::IDC_BLOWER, "Blower number:"},
        {[&] { return &reset; }, CHistResetDlg::IDC_SUPPLY, "Supply:"},
        {[&] { return &reset; }, CHistResetDlg::IDC_SLOT, "Slot:"},
    };
    for (const Case& c : cases) {
        QWidget* field = platform::DlgItem(c.dialog(), c.field);
        QCOMPARE(LabelOf(field).trimmed(), QLatin1String(c.label));
    }
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
