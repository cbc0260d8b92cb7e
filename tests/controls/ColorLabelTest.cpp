#include "controls/ColorLabel.h"
#include "platform/RecordingDrawContext.h"

#include <QTest>

#include <memory>

using namespace platform;

Q_DECLARE_METATYPE(platform::Rect)
Q_DECLARE_METATYPE(platform::Point)

constexpr ColorRef kBk = Rgb(0, 128, 128);
constexpr ColorRef kText = Rgb(0, 0, 0);
constexpr ColorRef kFirst = Rgb(255, 255, 255);
constexpr ColorRef kSecond = Rgb(128, 128, 128);

// The recording context measures 6 pixels a character and 13 high.
std::vector<DrawOp> Painted(bool border, ColorRef second, QSize size, const QString& text,
                            bool setTextPicture = false) {
    CColorLabel label(kBk, kText, kFirst, second, border);
    label.resize(size);
    label.SetText(text);
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

class ColorLabelTest : public QObject {
    Q_OBJECT
private slots:
    void borderAndFill() {
        const auto ops = Painted(true, kSecond, {100, 30}, "");
        QCOMPARE(ops.size(), std::size_t(5)); // an empty text draws nothing
        const Point corners[] = {{2, 28}, {2, 2}, {98, 2}, {98, 28}, {2, 28}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ops[i].from, corners[i]);
            QCOMPARE(ops[i].to, corners[i + 1]);
            QCOMPARE(ops[i].pen, (Pen{i < 2 ? kFirst : kSecond, 2}));
        }
        QCOMPARE(ops[4].kind, DrawOpKind::FillRect);
        QCOMPARE(ops[4].rect, (Rect{3, 3, 97, 27}));
        QCOMPARE(ops[4].fill, kBk);
        QCOMPARE(Painted(false, kSecond, {100, 30}, "").size(), std::size_t(0));
    }

    void textPosition_data() {
        QTest::addColumn<bool>("border");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Point>("pos");
        QTest::addColumn<Rect>("clip");
        QTest::newRow("centred") << true << QSize(100, 30) << "abc" << Point{41, 8}
                                 << Rect{2, 2, 98, 28};
        QTest::newRow("as wide as the room")
            << true << QSize(100, 30) << QString(16, 'x') << Point{0, 8} << Rect{2, 2, 98, 28};
        QTest::newRow("too high") << false << QSize(100, 16) << "abc" << Point{41, 0}
                                  << Rect{2, 2, 98, 14};
    }

    void textPosition() {
        QFETCH(bool, border);
        QFETCH(QSize, size);
        QFETCH(QString, text);
        const DrawOp op = Painted(border, kSecond, size, text).back();
        QCOMPARE(op.kind, DrawOpKind::TextOut);
        QTEST(op.from, "pos");
        QTEST(op.rect, "clip");
        QCOMPARE(op.textColor, kText);
        QCOMPARE(op.bkMode, BkMode::Transparent);
    }

    // The border colours, not the border flag, decide whether SetText fills the margin.
    void setTextPicture_data() {
        QTest::addColumn<bool>("border");
        QTest::addColumn<ColorRef>("second");
        QTest::addColumn<Rect>("room");
        QTest::newRow("different colours") << true << kSecond << Rect{2, 2, 98, 28};
        QTest::newRow("equal colours") << true << kFirst << Rect{0, 0, 100, 30};
        QTest::newRow("no border flag") << false << kSecond << Rect{2, 2, 98, 28};
    }

    void setTextPicture() {
        QFETCH(bool, border);
        QFETCH(ColorRef, second);
        QFETCH(Rect, room);
        const auto ops = Painted(border, second, {100, 30}, "abc", true);
        QCOMPARE(ops.size(), std::size_t(2));
        QCOMPARE(ops[0].rect, room);
        QCOMPARE(ops[1].from,
                 (Point{room.left + (room.Width() - 18) / 2, room.top + (room.Height() - 13) / 2}));
        QCOMPARE(ops[1].rect, room);
        QCOMPARE(Painted(border, second, {100, 30}, "", true).size(), std::size_t(1));
    }

    // The label's own font wins over the font-source window's; a window that has gone
    // is not used. The context gets its font back.
    void fonts() {
        const QFont wndFont("Sans", 17), ownFont("Serif", 5);
        auto fontWnd = std::make_unique<QWidget>();
        fontWnd->setFont(wndFont);
        CColorLabel fromWnd(kBk, kText, kFirst, kSecond, true, std::nullopt, fontWnd.get());
        CColorLabel own(kBk, kText, kFirst, kSecond, true, ownFont, fontWnd.get());
        fromWnd.SetText("a");
        own.SetText("a");
        RecordingDrawContext dc;
        const QFont initial = dc.CurrentFont();
        fromWnd.Paint(dc);
        QCOMPARE(dc.Ops().back().font, wndFont);
        own.PaintSetText(dc);
        QCOMPARE(dc.Ops().back().font, ownFont);
        QCOMPARE(dc.CurrentFont(), initial);
        fontWnd.reset();
        fromWnd.Paint(dc);
        QCOMPARE(dc.Ops().back().font, initial);
    }

    void setTextPaintsBeforeReturning() {
        QWidget form;
        auto* label = new CColorLabel(kBk, kText, kFirst, kSecond, true, {}, nullptr, &form);
        label->setGeometry(5, 5, 100, 30);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        PaintCounter paints;
        label->installEventFilter(&paints);
        label->SetText("12.5");
        label->SetText("12.5"); // the same text is painted again
        QCOMPARE(paints.count, 2);
        label->resize(3, 3); // smaller than its border: nothing to fill, and no fault
        label->SetText("too small");
        QCOMPARE(paints.count, 3);
        label->hide();
        label->SetText("hidden");
        QCOMPARE(paints.count, 3);
        QCOMPARE(label->Text(), QString("hidden"));
    }

    void coloursOnScreen() {
        CColorLabel label(kBk, kText, kFirst, kSecond, true);
        label.resize(100, 30);
        label.SetText("Emulated");
        const QImage image = label.grab().toImage();
        QCOMPARE(image.pixelColor(5, 5), ToQColor(kBk));
        QCOMPARE(image.pixelColor(2, 15), ToQColor(kFirst));
        QCOMPARE(image.pixelColor(98, 15), ToQColor(kSecond));
        QImage plain(92, 22, image.format());
        plain.fill(ToQColor(kBk));
        QVERIFY(image.copy(4, 4, 92, 22) != plain); // the text is there
    }
};

QTEST_MAIN(ColorLabelTest)
#include "ColorLabelTest.moc"
