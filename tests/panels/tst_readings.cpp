// The readings panel on a running frame: the form against its layout, the type change,
// readings and commands through a scripted instrument, failures, reopening, and keys.
#include "AppFixture.h"
#include "app/CommandIds.h"
#include "controls/SfpColor.h"
#include "instrument/EmulatedInstrument.h"
#include "panels/ReadForm.h"
#include "panels/ReadObj.h"
#include "platform/DialogBuilder.h"
#include "platform/RecordingDrawContext.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using platform::DlgItem;
using platform::DlgItemAs;

namespace {

struct Fixture {
    explicit Fixture(std::unique_ptr<CInstrument> instrument = std::make_unique<CTestInstrument>())
        : app(std::move(instrument)) {
        app.Command(ID_PANELS_READINGS);
        if (Instrument() != nullptr) {
            Calls().clear(); // what the histogram panel read at start-up
        }
    }
    CReadObj* Panel() const { return dynamic_cast<CReadObj*>(app.app.m_pCurrentPanel); }
    CReadForm* Form() const { return qobject_cast<CReadForm*>(Panel()->m_pForm.data()); }
    CTestInstrument* Instrument() const { return app.Instrument(); }
    QStringList& Calls() const { return Instrument()->calls; }
    QWidget* Item(int id) const { return DlgItem(Form(), id); }
    void Click(int id) const { QTest::mouseClick(Item(id), Qt::LeftButton); }
    void Type(int id, const QString& text) const {
        auto* edit = DlgItemAs<QLineEdit>(Form(), id);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Picks list position p with the keyboard, as an operator on the closed list does.
    void Pick(int p) const {
        QComboBox* list = Form()->m_pObjectList;
        QTest::keyClick(list, Qt::Key_Home);
        for (int k = 0; k < p; ++k) {
            QTest::keyClick(list, Qt::Key_Down);
        }
    }
    QString Display() const { return Form()->m_display.Text(); }

    AppFixture app;
};

struct Expected {
    int id;
    const char* caption;
    int x, y, cx, cy;
};

// Dialog 115 as designed, in template order.
const Expected kLayout[] = {
    {1106, "", 5, 5, 240, 230},
    {-1, "Type", 15, 45, 95, 35},
    {1109, "Temp", 21, 55, 34, 10},
    {1110, "Current", 21, 65, 39, 10},
    {1111, "", 15, 15, 215, 15},
    {1112, "", 20, 95, 80, 60},
    {1091, "Take Reading", 175, 45, 60, 14},
    {1121, "Present Reading", 15, 30, 215, 8},
    {1115, "NV Save", 175, 65, 60, 14},
    {-1, "Object (slot etc.)", 15, 85, 95, 30},
    {-1, "Set Limits", 15, 120, 95, 50},
    {-1, "Limit", 20, 132, 20, 8},
    {1117, "", 45, 130, 60, 14},
    {1118, "Set Limit", 35, 150, 50, 14},
    {1119, "", 20, 190, 215, 14},
    {-1, "Display Message", 15, 175, 225, 50},
    {1120, "Send", 100, 206, 50, 14},
};

QString CaptionOf(const QWidget* w) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        return box->title();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    return {};
}

// The control of the form with this id, or the id-less one with this caption.
QWidget* Control(const QWidget* form, const Expected& e) {
    if (e.id != platform::kNoId) {
        return DlgItem(form, e.id);
    }
    for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (CaptionOf(w) == QLatin1String(e.caption)) {
            return w;
        }
    }
    return nullptr;
}

} // namespace

class TestReadings : public QObject {
    Q_OBJECT
private slots:
    void layoutFollowsTheTemplate();
    void paintsRaisedPanelAroundFrameControl();
    void typeChangeRefillsListWithoutReading();
    void readingsShowFormattedValues();
    void emulatedInstrumentShowsZeros();
    void limitTextReadAsAtof_data();
    void limitTextReadAsAtof();
    void sendAndNvSave();
    void failuresLeaveTheFormAsItWas();
    void valueNeverShownUnderAnotherName();
    void reopenedFormKeepsTypeAndObject();
    void enterAndEscCloseNothing();
};

void TestReadings::layoutFollowsTheTemplate() {
    Fixture f;
    CReadForm* form = f.Form();
    const platform::DialogUnits units = platform::DialogUnitsOf(form->font());
    QCOMPARE(form->size(), QSize(units.X(252), units.Y(241)));
    QCOMPARE(f.app.Frame()->centralWidget(), form);
    for (const Expected& e : kLayout) {
        QWidget* w = Control(form, e);
        QVERIFY2(w != nullptr, e.caption);
        QCOMPARE(CaptionOf(w), QLatin1String(e.caption));
        const QRect expected = units.ToPixels(e.x, e.y, e.cx, e.cy);
        // The closed list keeps its own height; the template's includes the open list.
        QCOMPARE(w->geometry().topLeft(), expected.topLeft());
        QCOMPARE(w->width(), expected.width());
        QVERIFY(e.id == IDC_OBJECT_LIST || w->height() == expected.height());
    }
    QVERIFY(f.Item(IDC_PANEL_FRAME)->isHidden());
    QCOMPARE(f.Item(IDC_READING), &form->m_display);
    QVERIFY(qobject_cast<QRadioButton*>(f.Item(IDC_CURRENT)));
    QVERIFY(!form->m_pObjectList->isEditable());
    QVERIFY(DlgItemAs<QLineEdit>(form, IDC_MESSAGE)->hasFrame());
    auto* caption = DlgItemAs<QLabel>(form, IDC_READING_CAPTION);
    QVERIFY(caption->alignment() & Qt::AlignHCenter);
    QCOMPARE(caption->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    for (QPushButton* button : form->findChildren<QPushButton*>()) {
        QVERIFY2(!button->isDefault(), qPrintable(button->text()));
    }
    const QList<int> tabOrder{IDC_TEMP,         IDC_CURRENT, IDC_OBJECT_LIST,
                              IDC_TAKE_READING, IDC_NV_SAVE, IDC_LIMIT,
                              IDC_SET_LIMIT,    IDC_MESSAGE, IDC_SEND};
    QList<int> chain;
    for (QWidget* w = f.Item(IDC_TEMP); chain.size() < tabOrder.size(); w = w->nextInFocusChain()) {
        if (w->parentWidget() == form && (w->focusPolicy() & Qt::TabFocus) != 0) {
            chain << platform::DlgCtrlId(w);
        }
    }
    QCOMPARE(chain, tabOrder);
}

void TestReadings::paintsRaisedPanelAroundFrameControl() {
    Fixture f;
    CReadForm* form = f.Form();
    platform::RecordingDrawContext dc;
    form->Paint(dc);
    platform::Rect r = platform::Rect::FromQRect(f.Item(IDC_PANEL_FRAME)->geometry());
    r.Deflate(2);
    const auto fills = dc.Ops(platform::DrawOpKind::FillRect);
    QCOMPARE(fills.size(), std::size_t{2});
    QCOMPARE(fills[0].rect, platform::Rect::FromQRect(form->rect()));
    QCOMPARE(fills[0].fill, GetSfpColor(SFPCOLOR_DARKGRAY));
    QCOMPARE(fills[1].rect, r);
    QCOMPARE(fills[1].fill, GetSfpColor(SFPCOLOR_LIGHTGRAY));
    const auto lines = dc.Ops(platform::DrawOpKind::LineTo);
    const std::vector<platform::Point> ends{
        {r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
    QCOMPARE(lines.size(), ends.size());
    QCOMPARE(lines[0].from, (platform::Point{r.left, r.bottom}));
    for (std::size_t k = 0; k < ends.size(); ++k) {
        QCOMPARE(lines[k].to, ends[k]);
        const int colour = k < 2 ? SFPCOLOR_HIGHLIGHT : SFPCOLOR_SHADOW;
        QCOMPARE(lines[k].pen, (platform::Pen{GetSfpColor(colour), 2}));
    }
    QCOMPARE(dc.CurrentPen(), platform::Pen{});

    const QImage image = form->grab().toImage();
    QCOMPARE(image.pixelColor(1, 1), QColor(64, 64, 64));
    QCOMPARE(image.pixelColor(r.left + 4, r.bottom - 4), QColor(192, 192, 192));
}

void TestReadings::typeChangeRefillsListWithoutReading() {
    Fixture f;
    CReadForm* form = f.Form();
    QComboBox* list = form->m_pObjectList;
    QVERIFY(DlgItemAs<QRadioButton>(form, IDC_TEMP)->isChecked());
    QCOMPARE(list->count(), 27);
    QCOMPARE(list->itemText(26), QStringLiteral("AMBIENT"));
    f.Pick(5);
    QCOMPARE(f.Panel()->m_nObject, 5);

    f.Click(IDC_CURRENT);
    QVERIFY(!form->m_pSetLimit->isEnabled());
    QCOMPARE(f.Panel()->m_nType, IDC_CURRENT);
    QCOMPARE(f.Panel()->m_nObject, 0);
    QCOMPARE(list->count(), 7);
    QCOMPARE(list->currentText(), QStringLiteral("P5"));
    QCOMPARE(list->itemText(6), QStringLiteral("N2"));

    f.Pick(3);
    f.Click(IDC_CURRENT); // the chosen type again still starts from the first entry
    QCOMPARE(f.Panel()->m_nObject, 0);
    QCOMPARE(list->currentIndex(), 0);

    f.Click(IDC_TEMP);
    QVERIFY(form->m_pSetLimit->isEnabled());
    QCOMPARE(f.Panel()->m_nType, IDC_TEMP);
    QCOMPARE(list->currentText(), QStringLiteral("OUT0"));
    QVERIFY(f.Calls().isEmpty());
}

void TestReadings::readingsShowFormattedValues() {
    Fixture f;
    f.Instrument()->levels = {251, 253, 260};
    f.Pick(3);
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Calls(), QStringList{"GetLevel(3,0)"});
    QCOMPARE(f.Display(), QStringLiteral("Front: 251 middle: 253 rear: 260"));

    f.Instrument()->levels = {0.5, 1234567, -1e-5};
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Display(), QStringLiteral("Front: 0.5 middle: 1.23457e+06 rear: -1e-05"));

    f.Instrument()->levels = {21.25, 99, 99};
    QTest::keyClick(f.Form()->m_pObjectList, Qt::Key_End);
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Calls().last(), QStringLiteral("GetLevel(26,0)"));
    QCOMPARE(f.Display(), QStringLiteral("21.25"));

    f.Click(IDC_CURRENT);
    f.Pick(6);
    f.Instrument()->levels = {41.5, 7, 7};
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Calls().last(), QStringLiteral("GetLevel(41,0)"));
    QCOMPARE(f.Display(), QStringLiteral("41.5"));
}

void TestReadings::emulatedInstrumentShowsZeros() {
    Fixture f(std::make_unique<CEmulatedInstrument>());
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Display(), QStringLiteral("Front: 0 middle: 0 rear: 0"));
    f.Click(IDC_CURRENT);
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Display(), QStringLiteral("0"));
}

void TestReadings::limitTextReadAsAtof_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("limit");
    QTest::newRow("blanks, number, junk") << "  12.5abc"
                                          << "12.5";
    QTest::newRow("empty") << ""
                           << "0";
    QTest::newRow("lone point") << "-."
                                << "0";
    QTest::newRow("fraction, exponent") << "\t-.5e2e"
                                        << "-50";
    QTest::newRow("not decimal") << "0x10"
                                 << "0";
    QTest::newRow("not a number") << "inf"
                                  << "0";
    QTest::newRow("400 digits") << "1" + QString(399, QLatin1Char('0')) << "inf";
}

void TestReadings::limitTextReadAsAtof() {
    QFETCH(QString, text);
    QFETCH(QString, limit);
    Fixture f;
    f.Pick(2);
    f.Type(IDC_LIMIT, text);
    f.Click(IDC_SET_LIMIT);
    QCOMPARE(f.Calls(), QStringList{"SetLimit(2," + limit + ")"});
}

void TestReadings::sendAndNvSave() {
    Fixture f;
    f.Click(IDC_SEND);
    f.Type(IDC_MESSAGE, QStringLiteral("  Hello  mainframe "));
    f.Click(IDC_SEND);
    f.Type(IDC_LIMIT, QStringLiteral("junk"));
    f.Click(IDC_NV_SAVE);
    QCOMPARE(f.Calls(),
             (QStringList{"SetMessage()", "SetMessage(  Hello  mainframe )", "SaveSettings()"}));
    QVERIFY(f.Display().isEmpty());
}

void TestReadings::failuresLeaveTheFormAsItWas() {
    Fixture f;
    f.Instrument()->levels = {1, 2, 3};
    f.Pick(4);
    f.Click(IDC_TAKE_READING);
    const QString reading = f.Display();
    f.Type(IDC_LIMIT, QStringLiteral("5"));
    f.Type(IDC_MESSAGE, QStringLiteral("text"));

    f.Instrument()->failStatus = VI_ERROR_TMO;
    f.Instrument()->levels = {9, 9, 9};
    f.Click(IDC_TAKE_READING);
    f.Instrument()->errorQueue = {{-222, "Data out of range"}};
    f.Click(IDC_TAKE_READING);
    f.Instrument()->failStatus = -1;
    f.Click(IDC_SET_LIMIT);
    f.Instrument()->failStatus = -1;
    f.Click(IDC_NV_SAVE);
    f.Instrument()->errorQueue = {{-100, "Command error"}};
    f.Click(IDC_SEND);

    QCOMPARE(f.app.boxes.Boxes(),
             (std::vector<QString>{"Time Out !", "Instrument reports error: Data out of range",
                                   "Driver status text", "Driver status text",
                                   "Instrument reports error: Command error"}));
    QCOMPARE(f.Display(), reading);
    QCOMPARE(f.Panel()->m_nType, IDC_TEMP);
    QCOMPARE(f.Panel()->m_nObject, 4);
    QCOMPARE(f.Form()->m_pObjectList->currentIndex(), 4);
    QCOMPARE(DlgItemAs<QLineEdit>(f.Form(), IDC_LIMIT)->text(), QStringLiteral("5"));
    QCOMPARE(DlgItemAs<QLineEdit>(f.Form(), IDC_MESSAGE)->text(), QStringLiteral("text"));
    QVERIFY(f.app.Frame()->IsTimerRunning());
}

void TestReadings::valueNeverShownUnderAnotherName() {
    Fixture f;
    f.Instrument()->levels = {-1470, 0, 0};
    f.Click(IDC_CURRENT);
    f.Pick(2);
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Display(), QStringLiteral("-1470"));
    emit f.Form()->m_pObjectList->activated(2); // the same object again
    QCOMPARE(f.Display(), QStringLiteral("-1470"));
    f.Click(IDC_TEMP);
    QCOMPARE(f.Display(), QString());

    f.Click(IDC_TAKE_READING);
    f.Pick(3);
    QCOMPARE(f.Display(), QString());
    f.Instrument()->failStatus = VI_ERROR_TMO;
    f.Click(IDC_TAKE_READING);
    QCOMPARE(f.Display(), QString());
}

void TestReadings::reopenedFormKeepsTypeAndObject() {
    Fixture f;
    CReadObj* panel = f.Panel();
    f.Click(IDC_CURRENT);
    f.Pick(4);
    f.Type(IDC_LIMIT, QStringLiteral("3"));
    f.Click(IDC_TAKE_READING);
    f.app.Command(ID_PANELS_HISTOGRAM);
    QVERIFY(panel->m_pForm == nullptr);
    f.app.Command(ID_PANELS_READINGS);

    QCOMPARE(f.Panel(), panel);
    CReadForm* form = f.Form();
    QVERIFY(DlgItemAs<QRadioButton>(form, IDC_CURRENT)->isChecked());
    QVERIFY(!DlgItemAs<QRadioButton>(form, IDC_TEMP)->isChecked());
    QCOMPARE(form->m_pObjectList->count(), 7);
    QCOMPARE(form->m_pObjectList->currentText(), QStringLiteral("N24"));
    QVERIFY(form->m_pSetLimit->isEnabled());
    QVERIFY(f.Display().isEmpty());
    QVERIFY(DlgItemAs<QLineEdit>(form, IDC_LIMIT)->text().isEmpty());
    f.Calls().clear();
    f.Click(IDC_SET_LIMIT);
    QCOMPARE(f.Calls(), QStringList{"SetLimit(39,0)"});
}

void TestReadings::enterAndEscCloseNothing() {
    Fixture f;
    CReadForm* form = f.Form();
    QMainWindow* frame = f.app.Frame();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    auto* limit = DlgItemAs<QLineEdit>(form, IDC_LIMIT);
    f.Click(IDC_TAKE_READING); // a button that once had the focus is no default afterwards
    QCOMPARE(QApplication::focusWidget(), f.Item(IDC_TAKE_READING));
    limit->setFocus();
    QTest::keyClick(limit, Qt::Key_Return);
    QTest::keyClick(limit, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(limit, Qt::Key_Escape);
    QTest::keyClick(form->m_pObjectList, Qt::Key_Escape);
    QCOMPARE(f.Calls(), QStringList{"GetLevel(0,0)"});
    QCOMPARE(f.Form(), form);
    QVERIFY(form->isVisible());

    QWidget* save = f.Item(IDC_NV_SAVE);
    save->setFocus();
    QTest::keyClick(save, Qt::Key_Return);
    QCOMPARE(f.Calls().last(), QStringLiteral("SaveSettings()"));
}

QTEST_MAIN(TestReadings)
#include "tst_readings.moc"
