#include "controls/ColorLabel.h"
#include "platform/RecordingDrawContext.h"

#include <QTest>

#include <memory>

using namespace platform;

Q_DECLARE_METATYPE(platform::Rect)

namespace {

constexpr ColorRef kBk = Rgb(0, 128, 128);
constexpr ColorRef kText = Rgb(0, 0, 0);
constexpr ColorRef kFirst = Rgb(255, 255, 255);
constexpr ColorRef kSecond = Rgb(128, 128, 128);

// A 100 x 30 label; the recording context measures 6 pixels a character, 13 high.
std::unique_ptr<CColorLabel> MakeLabel(bool border, ColorRef second = kSecond) {
    auto label = std::make_unique<CColorLabel>(kBk, kText, kFirst, second, border);
    label->resize(100, 30);
    return label;
}

std::vector<DrawOp> Painted(const CColorLabel& label, bool setTextPicture = false) {
    RecordingDrawContext dc;
    setTextPicture ? label.PaintSetText(dc) : label.Paint(dc);
    return dc.Ops();
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

class ColorLabelTest : public QObject {
    Q_OBJECT
private slots:
    void borderFillAndCentredText();
    void withoutBorderOnlyTextIsDrawn();
    void textThatDoesNotFitStartsAtZero();
    void fontSourceWindowAndFont();
    void setTextPicture_data();
    void setTextPicture();
    void setTextPaintsBeforeReturning();
    void coloursOnScreen();
};

void ColorLabelTest::borderFillAndCentredText() {
    auto label = MakeLabel(true);
    label->SetText("abc");
    const auto ops = Painted(*label);
    QCOMPARE(ops.size(), std::size_t(6));
    const Pen first{kFirst, 2}, second{kSecond, 2};
    const std::pair<Point, Point> lines[] = {
        {{2, 28}, {2, 2}}, {{2, 2}, {98, 2}}, {{98, 2}, {98, 28}}, {{98, 28}, {2, 28}}};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ops[i].kind, DrawOpKind::LineTo);
        QCOMPARE(ops[i].from, lines[i].first);
        QCOMPARE(ops[i].to, lines[i].second);
        QCOMPARE(ops[i].pen, i < 2 ? first : second);
    }
    QCOMPARE(ops[4].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[4].rect, (Rect{3, 3, 97, 27}));
    QCOMPARE(ops[4].fill, kBk);
    QCOMPARE(ops[5].kind, DrawOpKind::TextOut);
    QCOMPARE(ops[5].from, (Point{2 + (96 - 18) / 2, 2 + (26 - 13) / 2}));
    QCOMPARE(ops[5].rect, (Rect{2, 2, 98, 28}));
    QCOMPARE(ops[5].textColor, kText);
    QCOMPARE(ops[5].bkMode, BkMode::Transparent);

    label->SetText("");
    QCOMPARE(Painted(*label).size(), std::size_t(5)); // border and fill, no text
}

void ColorLabelTest::withoutBorderOnlyTextIsDrawn() {
    auto label = MakeLabel(false);
    label->resize(101, 30); // odd room: the half truncates
    label->SetText("abc");
    const auto ops = Painted(*label);
    QCOMPARE(ops.size(), std::size_t(1));
    QCOMPARE(ops[0].from, (Point{2 + (97 - 18) / 2, 8}));
    QCOMPARE(ops[0].rect, (Rect{2, 2, 99, 28}));
}

void ColorLabelTest::textThatDoesNotFitStartsAtZero() {
    auto label = MakeLabel(true);
    label->SetText(QString(16, 'x')); // 96 pixels: as wide as the room, so it does not fit
    QCOMPARE(Painted(*label).back().from, (Point{0, 8}));
    label->resize(100, 16); // 12 pixels high inside, the text 13
    label->SetText("abc");
    const DrawOp text = Painted(*label).back();
    QCOMPARE(text.from, (Point{41, 0}));
    QCOMPARE(text.rect, (Rect{2, 2, 98, 14}));
}

void ColorLabelTest::fontSourceWindowAndFont() {
    QWidget fontWnd;
    const QFont wndFont("Sans", 17);
    const QFont ownFont("Serif", 5);
    fontWnd.setFont(wndFont);
    CColorLabel fromWnd(kBk, kText, kFirst, kSecond, true, std::nullopt, &fontWnd);
    CColorLabel own(kBk, kText, kFirst, kSecond, true, ownFont, &fontWnd);
    fromWnd.SetText("a");
    own.SetText("a");

    RecordingDrawContext dc;
    const QFont initial = dc.CurrentFont();
    fromWnd.Paint(dc);
    QCOMPARE(dc.Ops().back().font, wndFont);
    QCOMPARE(dc.CurrentFont(), initial);
    own.PaintSetText(dc);
    QCOMPARE(dc.Ops().back().font, ownFont);
    QCOMPARE(dc.CurrentFont(), initial);

    // A font-source window that has gone is no longer used, and is no danger.
    auto gone = std::make_unique<QWidget>();
    gone->setFont(wndFont);
    fromWnd.SetFontWnd(gone.get());
    gone.reset();
    dc.Clear();
    fromWnd.Paint(dc);
    QCOMPARE(dc.Ops().back().font, initial);
}

void ColorLabelTest::setTextPicture_data() {
    QTest::addColumn<bool>("border");
    QTest::addColumn<ColorRef>("second");
    QTest::addColumn<Rect>("room");
    QTest::newRow("different colours keep the border") << true << kSecond << Rect{2, 2, 98, 28};
    QTest::newRow("equal colours fill it over") << true << kFirst << Rect{0, 0, 100, 30};
    QTest::newRow("no border, margin kept") << false << kSecond << Rect{2, 2, 98, 28};
}

void ColorLabelTest::setTextPicture() {
    QFETCH(bool, border);
    QFETCH(ColorRef, second);
    QFETCH(Rect, room);
    auto label = MakeLabel(border, second);
    label->SetText("abc");
    const auto ops = Painted(*label, true);
    QCOMPARE(ops.size(), std::size_t(2));
    QCOMPARE(ops[0].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[0].rect, room);
    QCOMPARE(ops[0].fill, kBk);
    QCOMPARE(ops[1].from,
             (Point{room.left + (room.Width() - 18) / 2, room.top + (room.Height() - 13) / 2}));
    QCOMPARE(ops[1].rect, room);
    QCOMPARE(ops[1].textColor, kText);

    label->SetText("");
    QCOMPARE(Painted(*label, true).size(), std::size_t(1));
}

void ColorLabelTest::setTextPaintsBeforeReturning() {
    QWidget form;
    auto* label = new CColorLabel(kBk, kText, kFirst, kSecond, true, std::nullopt, nullptr, &form);
    label->setGeometry(5, 5, 100, 30);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    PaintCounter paints;
    label->installEventFilter(&paints);
    label->SetText("12.5");
    QCOMPARE(paints.count, 1);
    label->SetText("12.5"); // the same text is painted again
    QCOMPARE(paints.count, 2);
    QCOMPARE(label->Text(), QString("12.5"));

    label->hide();
    label->SetText("hidden");
    QCOMPARE(paints.count, 2);
    QCOMPARE(label->Text(), QString("hidden"));
}

void ColorLabelTest::coloursOnScreen() {
    auto label = MakeLabel(true);
    label->SetText("Emulated");
    const QImage image = label->grab().toImage();
    QCOMPARE(image.pixelColor(5, 5), ToQColor(kBk));
    QCOMPARE(image.pixelColor(2, 15), ToQColor(kFirst));
    QCOMPARE(image.pixelColor(50, 2), ToQColor(kFirst));
    QCOMPARE(image.pixelColor(98, 15), ToQColor(kSecond));
    QCOMPARE(image.pixelColor(50, 28), ToQColor(kSecond));
    int textPixels = 0;
    for (int y = 4; y < 26; ++y) {
        for (int x = 4; x < 96; ++x) {
            textPixels += image.pixelColor(x, y) != ToQColor(kBk) ? 1 : 0;
        }
    }
    QVERIFY(textPixels > 0);
}

QTEST_MAIN(ColorLabelTest)
#include "ColorLabelTest.moc"
