// Export of what the displays show: the tables and their text forms, and the context menu's
// copy and saves on the running panel, including a write that fails.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "core/QuantityCatalogue.h"
#include "histogram/HistSetupDlg.h"
#include "histogram/Histo.h"
#include "histogram/HistoExport.h"
#include "histogram/Pan1Form.h"
#include "histogram/Pan1Obj.h"
#include "panels/Panel.h"
#include "panels/ReadForm.h"
#include "panels/ReadingExport.h"
#include "platform/DialogBuilder.h"
#include "platform/ExportMenu.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using platform::ExportTable;

namespace {

QWidget* Form(const AppFixture& fx) {
    return fx.app.m_pCurrentPanel->m_pForm.data();
}

// The chart's overlay: the form's one child without a template id that is not a label.
QWidget* ChartView(QWidget* form) {
    for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (platform::DlgCtrlId(w) == platform::kNoId &&
            w->contextMenuPolicy() == Qt::CustomContextMenu) {
            return w;
        }
    }
    return nullptr;
}

// The export menu's action with this text (without its accelerator) on display.
void Trigger(QWidget* display, const QString& text) {
    auto* exporter = display->findChild<platform::ExportMenu*>();
    QVERIFY(exporter != nullptr);
    std::unique_ptr<QMenu> menu(exporter->BuildMenu(nullptr));
    for (QAction* action : menu->actions()) {
        if (action->text().remove(u'&') == text) {
            QVERIFY2(action->isEnabled(), qPrintable(text));
            action->trigger();
            return;
        }
    }
    QFAIL(qPrintable(text + QStringLiteral(" is not in the menu")));
}

QString ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void textFormsKeepColumnsAndQuoteCells();
    void tablesHoldWhatIsShownNotRounded();
    void chartCopiedAndSavedAsShown();
    void chartKeepsTheTimeUnitItWasTakenIn();
    void readingCopiedOnlyWhileShown();
    void failedWriteSaysWhyAndKeepsTheDisplay();
};

// A cell with a separator, a quote or a line break must not break a row into more columns.
void TestExport::textFormsKeepColumnsAndQuoteCells() {
    struct Case {
        ExportTable table;
        const char* tsv;
        const char* csv;
    };
    const Case cases[] = {
        {{{"A", "B"}, {{"1", "2.5"}}}, "A\tB\n1\t2.5\n", "A,B\r\n1,2.5\r\n"},
        {{{"Unit"}, {{".1 deg. C"}, {"a,b"}, {"say \"hi\""}, {"two\nlines"}, {"tab\there"}}},
         "Unit\n.1 deg. C\na,b\nsay \"hi\"\ntwo lines\ntab here\n",
         "Unit\r\n.1 deg. C\r\n\"a,b\"\r\n\"say \"\"hi\"\"\"\r\n\"two\nlines\"\r\ntab\there\r\n"},
        {{{"Only"}, {}}, "Only\n", "Only\r\n"},
    };
    for (const Case& c : cases) {
        QCOMPARE(platform::ToTabSeparated(c.table), QString::fromLatin1(c.tsv));
        QCOMPARE(platform::ToCsv(c.table), QString::fromLatin1(c.csv));
    }
}

// Edges are the instrument's whole numbers, exactly (a "%g" would round 1234567); the
// reading's values are the display's own texts.
void TestExport::tablesHoldWhatIsShownNotRounded() {
    Chisto histo;
    histo.m_pBins = {{0, 1234567, 3}, {1234567, 2469134, 0}};
    histo.m_dYMax = 3;
    histo.SetXAxis(0, 2469134, QStringLiteral("RPM"), nullptr);
    const ExportTable chart = HistogramTable(histo, QStringLiteral("BLOWER BLOWER1"), "SEC");
    QCOMPARE(chart.header.join(u'|'),
             QStringLiteral("Lower edge|Upper edge|Count|Quantity|Unit|Time unit"));
    QCOMPARE(chart.rows.size(), std::size_t{2});
    QCOMPARE(chart.rows[0].join(u'|'), QStringLiteral("0|1234567|3|BLOWER BLOWER1|RPM|SEC"));
    QCOMPARE(ChartDescription(histo, QStringLiteral("Blower RPM histogram ")),
             QStringLiteral("Blower RPM histogram. Horizontal axis 0 to 2469134 RPM; vertical axis "
                            "0 to 3. Bins: 0 to 1234567: 3; 1234567 to 2469134: 0."));

    const struct {
        ShownReading reading;
        const char* header;
        const char* row;
    } readings[] = {
        {{"Temp OUT3", {"251", "252.5", "1e+06"}, ""},
         "Quantity|Front|Middle|Rear",
         "Temp OUT3|251|252.5|1e+06"},
        {{"Current P5", {"-0.5"}, ""}, "Quantity|Value", "Current P5|-0.5"},
    };
    for (const auto& r : readings) {
        const ExportTable table = ReadingTable(r.reading);
        QCOMPARE(table.header.join(u'|'), QLatin1String(r.header));
        QCOMPARE(table.rows.at(0).join(u'|'), QLatin1String(r.row));
    }
}

void TestExport::chartCopiedAndSavedAsShown() {
    AppFixture fx;
    fx.Instrument()->histogramParts = {{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                                        {200, 210, 220, 230, 240, 250, 260, 270, 280, 290},
                                        {210, 220, 230, 240, 250, 260, 270, 280, 290, 300}}};
    fx.Instrument()->timeUnits = 18;
    auto* form = qobject_cast<CPan1Form*>(Form(fx));
    form->m_pPanel->m_nType = TEMPERATURE;
    form->RebuildHistogram();
    QWidget* view = ChartView(form);
    QVERIFY(view != nullptr);

    QApplication::clipboard()->clear();
    QVERIFY(QTest::qWaitForWindowActive(fx.Frame()));
    platform::DlgItem(form, CPan1Form::IDC_KINDLIST)->setFocus();
    QTest::keySequence(fx.Frame(), QKeySequence::Copy);
    const QStringList lines = QApplication::clipboard()->text().split(u'\n');
    QCOMPARE(lines.size(), 12); // header, ten bins, the final newline
    QCOMPARE(lines[1], QStringLiteral("200\t210\t1\tTEMPERATURE OUT0\t.1 deg. C\tMIN"));
    QCOMPARE(lines[10], QStringLiteral("290\t300\t10\tTEMPERATURE OUT0\t.1 deg. C\tMIN"));

    QTemporaryDir dir;
    QStringList suggested;
    platform::SaveFileChooser chooser([&](const QString& name) {
        suggested << name;
        return dir.filePath(name);
    });
    Trigger(view, QStringLiteral("Save as CSV..."));
    Trigger(view, QStringLiteral("Save as PNG..."));
    QCOMPARE(suggested, (QStringList{"histogram.csv", "histogram.png"}));
    const QString csv = ReadFile(dir.filePath("histogram.csv"));
    QCOMPARE(csv.split(QStringLiteral("\r\n")).value(10),
             QStringLiteral("290,300,10,TEMPERATURE OUT0,.1 deg. C,MIN"));
    const QImage png(dir.filePath("histogram.png"));
    QCOMPARE(png.size(), view->size());
    QCOMPARE(png.convertToFormat(QImage::Format_RGB32),
             form->grab(view->geometry()).toImage().convertToFormat(QImage::Format_RGB32));
    QVERIFY(fx.boxes.Boxes().empty());
}

// Counts taken in minutes must not be labelled seconds because Setup has just chosen seconds.
void TestExport::chartKeepsTheTimeUnitItWasTakenIn() {
    AppFixture fx;
    fx.Instrument()->timeUnits = 18;
    auto* form = qobject_cast<CPan1Form*>(Form(fx));
    form->TakeReading();
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        platform::DlgItemAs<QComboBox>(dialog, CHistSetupDlg::IDC_UNITS)->setCurrentIndex(2);
        platform::DlgItemAs<QAbstractButton>(dialog, 1)->click(); // OK: seconds from now on
    });
    platform::DlgItemAs<QAbstractButton>(form, CPan1Form::IDC_SETUP)->click();
    QCOMPARE(fx.Instrument()->timeUnits, 19);
    const auto unitOfCopy = [&] {
        QApplication::clipboard()->clear();
        Trigger(ChartView(form), QStringLiteral("Copy"));
        return QApplication::clipboard()->text().split(u'\n').value(1).section(u'\t', 5);
    };
    fx.Instrument()->calls.clear();
    QCOMPARE(unitOfCopy(), QStringLiteral("MIN"));
    QCOMPARE(fx.Instrument()->calls, QStringList()); // known from Setup, not asked again
    form->TakeReading();
    QCOMPARE(unitOfCopy(), QStringLiteral("SEC"));
}

void TestExport::readingCopiedOnlyWhileShown() {
    AppFixture fx;
    fx.Command(ID_PANELS_READINGS);
    auto* form = qobject_cast<CReadForm*>(Form(fx));
    QVERIFY(QTest::qWaitForWindowActive(fx.Frame()));
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    QTest::keySequence(fx.Frame(), QKeySequence::Copy); // nothing shown yet
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));

    fx.Instrument()->levels = {251, 252.5, 253};
    form->TakeReading();
    QTest::keySequence(fx.Frame(), QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("Quantity\tFront\tMiddle\tRear\nTemp OUT0\t251\t252.5\t253\n"));
    QCOMPARE(form->m_display.Text(), QStringLiteral("Front: 251 middle: 252.5 rear: 253"));

    form->m_display.SetText(QString()); // a display cleared of its reading offers nothing
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    QTest::keySequence(fx.Frame(), QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
}

void TestExport::failedWriteSaysWhyAndKeepsTheDisplay() {
    AppFixture fx;
    fx.Command(ID_PANELS_READINGS);
    auto* form = qobject_cast<CReadForm*>(Form(fx));
    fx.Instrument()->levels = {7, 0, 0};
    form->TakeReading();
    const QString shown = form->m_display.Text();

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-folder/reading.csv"));
    {
        platform::SaveFileChooser chooser([&](const QString&) { return missing; });
        Trigger(&form->m_display, QStringLiteral("Save as CSV..."));
    }
    QCOMPARE(fx.boxes.Boxes().size(), std::size_t{1});
    QVERIFY2(fx.boxes.Boxes()[0].startsWith(QStringLiteral("Could not save ") + missing),
             qPrintable(fx.boxes.Boxes()[0]));
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(form->m_display.Text(), shown);

    // Cancelling the dialog writes nothing and says nothing.
    fx.boxes.Clear();
    platform::SaveFileChooser cancel([](const QString&) { return QString(); });
    Trigger(&form->m_display, QStringLiteral("Save as CSV..."));
    QVERIFY(fx.boxes.Boxes().empty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
