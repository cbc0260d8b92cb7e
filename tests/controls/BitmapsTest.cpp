#include "resources/Bitmaps.h"
#include "controls/BitmapStatic.h"
#include "resources/ResourceIds.h"

#include <QSet>
#include <QTest>

// The colours of a picture.
QSet<QRgb> ColoursOf(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours;
}

class BitmapsTest : public QObject {
    Q_OBJECT
private slots:
    void sizesAndColours() {
        QCOMPARE(LoadBitmap(IDB_LOGO).size(), QSize(103, 24));
        QCOMPARE(LoadBitmap(IDB_BADGE).size(), QSize(77, 41));
        QCOMPARE(ColoursOf(LoadBitmap(IDB_LOGO)),
                 (QSet<QRgb>{qRgb(0, 0, 0), qRgb(192, 192, 192), qRgb(255, 255, 255)}));
        for (const int id : {0, -1, IDI_APPICON, 106}) {
            QVERIFY(LoadBitmap(id).isNull());
        }
        const QIcon icon = AppIcon();
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    }

    void bitmapStaticPaintsUnscaledAndClipped() {
        CBitmapStatic logo(IDB_LOGO);
        logo.resize(84, 39); // narrower and taller than the logo
        const QImage shown = logo.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage expected =
            LoadBitmap(IDB_LOGO).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(84, 39));
        QCOMPARE(shown.copy(0, 0, 84, 24), expected.copy(0, 0, 84, 24));

        CBitmapStatic unknown(999);
        unknown.resize(10, 10);
        QVERIFY(!unknown.grab().isNull()); // paints nothing, and does not fail
    }
};

QTEST_MAIN(BitmapsTest)
#include "BitmapsTest.moc"
