#include "resources/Bitmaps.h"
#include "controls/BitmapStatic.h"
#include "resources/ResourceIds.h"

#include <QImage>
#include <QSet>
#include <QTest>

namespace {

// The classic 16 colours, the only ones the pictures may use.
QSet<QRgb> Palette16() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QSet<QRgb> ColoursOf(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                colours.insert(image.pixel(x, y));
            }
        }
    }
    return colours;
}

} // namespace

class BitmapsTest : public QObject {
    Q_OBJECT
private slots:
    void sizesAndColours();
    void iconSizes();
    void bitmapStaticPaintsUnscaledAndClipped();
};

void BitmapsTest::sizesAndColours() {
    const QImage logo = LoadBitmap(IDB_LOGO).toImage();
    const QImage badge = LoadBitmap(IDB_BADGE).toImage();
    QCOMPARE(logo.size(), QSize(103, 24));
    QCOMPARE(badge.size(), QSize(77, 41));
    QCOMPARE(ColoursOf(logo),
             (QSet<QRgb>{qRgb(0, 0, 0), qRgb(192, 192, 192), qRgb(255, 255, 255)}));
    QVERIFY(Palette16().contains(ColoursOf(badge)));
    for (const int id : {0, -1, IDI_APPICON, 103, 106}) {
        QVERIFY(LoadBitmap(id).isNull());
    }
}

void BitmapsTest::iconSizes() {
    const QIcon icon = AppIcon();
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    for (const int side : {16, 32}) {
        QVERIFY(Palette16().contains(ColoursOf(icon.pixmap(side).toImage())));
    }
}

void BitmapsTest::bitmapStaticPaintsUnscaledAndClipped() {
    CBitmapStatic logoStatic(IDB_LOGO);
    logoStatic.resize(84, 39); // narrower and taller than the logo
    const QImage shown = logoStatic.grab().toImage();
    const QImage logo = LoadBitmap(IDB_LOGO).toImage();
    QCOMPARE(shown.size(), QSize(84, 39));
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 84; ++x) {
            QCOMPARE(shown.pixel(x, y), logo.pixel(x, y));
        }
    }

    CBitmapStatic unknown(999);
    unknown.resize(10, 10);
    QVERIFY(!unknown.grab().isNull()); // paints nothing, and does not fail
}

QTEST_MAIN(BitmapsTest)
#include "BitmapsTest.moc"
