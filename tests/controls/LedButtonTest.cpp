#include "controls/LedButton.h"
#include "controls/SfpColor.h"
#include "platform/RecordingDrawContext.h"

#include <QSignalSpy>
#include <QTest>

using namespace platform;

Q_DECLARE_METATYPE(platform::Rect)
Q_DECLARE_METATYPE(platform::Point)

namespace {
constexpr ColorRef kGreen = Rgb(0, 255, 0);
constexpr ColorRef kLightGray = Rgb(192, 192, 192);
} // namespace

class LedButtonTest : public QObject {
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void drawsWithSchemeColoursAndRestoresTheContext();
    void ignoresClicksAndTakesNoFocus();
    void lampColoursOnScreen();
};

void LedButtonTest::geometry_data() {
    QTest::addColumn<Rect>("item");
    QTest::addColumn<Rect>("square");
    QTest::addColumn<Point>("arcStart");
    QTest::addColumn<Point>("arcEnd");
    QTest::addColumn<Rect>("face");
    QTest::newRow("24x20") << Rect{0, 0, 24, 20} << Rect{2, 0, 22, 20} << Point{4, 17}
                           << Point{19, 2} << Rect{6, 4, 18, 16};
    QTest::newRow("24x19") << Rect{0, 0, 24, 19} << Rect{2, 0, 21, 19} << Point{4, 15}
                           << Point{17, 2} << Rect{5, 3, 18, 16};
    QTest::newRow("tall") << Rect{0, 0, 20, 24} << Rect{0, 2, 20, 22} << Point{2, 19}
                          << Point{17, 4} << Rect{4, 6, 16, 18};
    QTest::newRow("offset") << Rect{10, 10, 34, 30} << Rect{12, 10, 32, 30} << Point{14, 27}
                            << Point{29, 12} << Rect{16, 14, 28, 26};
}

void LedButtonTest::geometry() {
    QFETCH(Rect, item);
    QFETCH(Rect, square);
    QFETCH(Point, arcStart);
    QFETCH(Point, arcEnd);
    QFETCH(Rect, face);
    RecordingDrawContext dc;
    CLedButton(kGreen, kLightGray).DrawItem(dc, item);

    const auto fills = dc.Ops(DrawOpKind::FillRect);
    const auto ellipses = dc.Ops(DrawOpKind::Ellipse);
    const auto arcs = dc.Ops(DrawOpKind::Arc);
    QCOMPARE(fills.size(), 1u);
    QCOMPARE(fills[0].rect, item);
    QCOMPARE(ellipses.size(), 2u);
    QCOMPARE(ellipses[0].rect, square);
    QCOMPARE(ellipses[1].rect, face);
    QCOMPARE(arcs.size(), 1u);
    QCOMPARE(arcs[0].rect, square);
    QCOMPARE(arcs[0].from, arcStart);
    QCOMPARE(arcs[0].to, arcEnd);
}

void LedButtonTest::drawsWithSchemeColoursAndRestoresTheContext() {
    RecordingDrawContext dc;
    const Pen pen{Rgb(1, 2, 3), 3};
    const Brush brush{Rgb(4, 5, 6)};
    dc.SelectPen(pen);
    dc.SelectBrush(brush);
    CLedButton(kGreen, kLightGray).DrawItem(dc, {0, 0, 24, 20});

    const auto& ops = dc.Ops();
    QCOMPARE(ops.size(), 4u);
    QCOMPARE(ops[0].kind, DrawOpKind::FillRect);
    QCOMPARE(ops[0].fill, kLightGray);
    QCOMPARE(ops[1].pen, (Pen{GetSfpColor(SFPCOLOR_HIGHLIGHT), 1}));
    QCOMPARE(ops[1].brush, (Brush{GetSfpColor(SFPCOLOR_FACE)}));
    QCOMPARE(ops[2].kind, DrawOpKind::Arc);
    QCOMPARE(ops[2].pen, (Pen{GetSfpColor(SFPCOLOR_SHADOW), 1}));
    QCOMPARE(ops[3].pen, (Pen{GetSfpColor(SFPCOLOR_FACE), 1}));
    QCOMPARE(ops[3].brush, (Brush{kGreen}));
    QCOMPARE(dc.CurrentPen(), pen);
    QCOMPARE(dc.CurrentBrush(), brush);
}

void LedButtonTest::ignoresClicksAndTakesNoFocus() {
    QWidget form;
    auto* lamp = new CLedButton(kGreen, kLightGray, &form);
    lamp->setGeometry(10, 10, 24, 20);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy clicked(lamp, &QAbstractButton::clicked);
    QSignalSpy pressed(lamp, &QAbstractButton::pressed);

    QTest::mouseClick(lamp, Qt::LeftButton, {}, {12, 10});
    QTest::mouseDClick(lamp, Qt::LeftButton, {}, {12, 10});
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(lamp->focusPolicy(), Qt::NoFocus);
    QVERIFY(!lamp->isDown());
}

void LedButtonTest::lampColoursOnScreen() {
    CLedButton lamp(kGreen, kLightGray);
    lamp.resize(24, 20);
    const QImage image = lamp.grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), ToQColor(kLightGray));
    QCOMPARE(image.pixelColor(23, 19), ToQColor(kLightGray));
    QCOMPARE(image.pixelColor(12, 10), ToQColor(kGreen));
    QCOMPARE(image.pixelColor(7, 2), ToQColor(GetSfpColor(SFPCOLOR_FACE)));
}

QTEST_MAIN(LedButtonTest)
#include "LedButtonTest.moc"
