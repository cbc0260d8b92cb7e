#include "controls/LedButton.h"
#include "controls/SfpColor.h"
#include "platform/RecordingDrawContext.h"

#include <QSignalSpy>
#include <QTest>

using namespace platform;

Q_DECLARE_METATYPE(platform::Rect)
Q_DECLARE_METATYPE(platform::Point)

constexpr ColorRef kGreen = Rgb(0, 255, 0);
constexpr ColorRef kLightGray = Rgb(192, 192, 192);

class LedButtonTest : public QObject {
    Q_OBJECT
private slots:
    void geometry_data() {
        QTest::addColumn<Rect>("item");
        QTest::addColumn<Rect>("square");
        QTest::addColumn<Point>("arcStart");
        QTest::addColumn<Point>("arcEnd");
        QTest::addColumn<Rect>("face");
        QTest::newRow("24x20") << Rect{0, 0, 24, 20} << Rect{2, 0, 22, 20} << Point{4, 17}
                               << Point{19, 2} << Rect{6, 4, 18, 16};
        QTest::newRow("24x19") << Rect{0, 0, 24, 19} << Rect{2, 0, 21, 19} << Point{4, 15}
                               << Point{17, 2} << Rect{5, 3, 18, 16};
        QTest::newRow("tall, offset") << Rect{10, 10, 30, 34} << Rect{10, 12, 30, 32}
                                      << Point{12, 29} << Point{27, 14} << Rect{14, 16, 26, 28};
    }

    // Background, outer circle, shadow arc and face, in that order and colours.
    void geometry() {
        QFETCH(Rect, item);
        RecordingDrawContext dc;
        CLedButton(kGreen, kLightGray).DrawItem(dc, item);

        const auto& ops = dc.Ops();
        QCOMPARE(ops.size(), std::size_t(4));
        QCOMPARE(ops[0].kind, DrawOpKind::FillRect);
        QCOMPARE(ops[0].rect, item);
        QCOMPARE(ops[0].fill, kLightGray);
        QTEST(ops[1].rect, "square");
        QCOMPARE(ops[1].brush, Brush{GetSfpColor(SFPCOLOR_FACE)});
        QCOMPARE(ops[2].kind, DrawOpKind::Arc);
        QTEST(ops[2].rect, "square");
        QTEST(ops[2].from, "arcStart");
        QTEST(ops[2].to, "arcEnd");
        QCOMPARE(ops[2].pen, (Pen{GetSfpColor(SFPCOLOR_SHADOW), 1}));
        QTEST(ops[3].rect, "face");
        QCOMPARE(ops[3].brush, Brush{kGreen});
    }

    void ignoresClicksAndTakesNoFocus() {
        QWidget form;
        auto* lamp = new CLedButton(kGreen, kLightGray, &form);
        lamp->setGeometry(10, 10, 24, 20);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QSignalSpy clicked(lamp, &QAbstractButton::clicked);
        QSignalSpy pressed(lamp, &QAbstractButton::pressed);
        QTest::mouseClick(lamp, Qt::LeftButton, {}, {12, 10});
        QTest::mouseDClick(lamp, Qt::LeftButton, {}, {12, 10});
        QCOMPARE(clicked.count() + pressed.count(), 0);
        QCOMPARE(lamp->focusPolicy(), Qt::NoFocus);
    }

    void lampColoursOnScreen() {
        CLedButton lamp(kGreen, kLightGray);
        lamp.resize(24, 20);
        const QImage image = lamp.grab().toImage();
        QCOMPARE(image.pixelColor(0, 0), ToQColor(kLightGray));
        QCOMPARE(image.pixelColor(12, 10), ToQColor(kGreen));
    }
};

QTEST_MAIN(LedButtonTest)
#include "LedButtonTest.moc"
