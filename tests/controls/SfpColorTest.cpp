#include "controls/SfpColor.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

#include <climits>

using platform::ColorRef;
using platform::Rgb;

class SfpColorTest : public QObject {
    Q_OBJECT
private slots:
    void fixedColours_data();
    void fixedColours();
    void schemeColoursFollowThePalette();
};

void SfpColorTest::fixedColours_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<ColorRef>("color");
    QTest::newRow("white") << SFPCOLOR_WHITE << Rgb(255, 255, 255);
    QTest::newRow("black") << SFPCOLOR_BLACK << Rgb(0, 0, 0);
    QTest::newRow("dark grey") << SFPCOLOR_DARKGRAY << Rgb(64, 64, 64);
    QTest::newRow("grey") << SFPCOLOR_GRAY << Rgb(128, 128, 128);
    QTest::newRow("light grey") << SFPCOLOR_LIGHTGRAY << Rgb(192, 192, 192);
    QTest::newRow("teal") << SFPCOLOR_TEAL << ColorRef{0x02808000};
    QTest::newRow("-1") << -1 << Rgb(255, 255, 255);
    QTest::newRow("9") << 9 << Rgb(255, 255, 255);
    QTest::newRow("INT_MIN") << INT_MIN << Rgb(255, 255, 255);
    QTest::newRow("INT_MAX") << INT_MAX << Rgb(255, 255, 255);
}

void SfpColorTest::fixedColours() {
    QFETCH(int, index);
    QFETCH(ColorRef, color);
    QCOMPARE(GetSfpColor(index), color);
}

void SfpColorTest::schemeColoursFollowThePalette() {
    const QPalette saved = QApplication::palette();
    for (const int shade : {10, 200}) {
        QPalette palette = saved;
        palette.setColor(QPalette::Active, QPalette::Dark, QColor(shade, 1, 2));
        palette.setColor(QPalette::Active, QPalette::Light, QColor(shade, 3, 4));
        palette.setColor(QPalette::Active, QPalette::Button, QColor(shade, 5, 6));
        palette.setColor(QPalette::Inactive, QPalette::Button, QColor(7, 7, 7));
        QApplication::setPalette(palette);
        QCOMPARE(GetSfpColor(SFPCOLOR_SHADOW), Rgb(shade, 1, 2));
        QCOMPARE(GetSfpColor(SFPCOLOR_HIGHLIGHT), Rgb(shade, 3, 4));
        QCOMPARE(GetSfpColor(SFPCOLOR_FACE), Rgb(shade, 5, 6));
    }
    QApplication::setPalette(saved);
    QCOMPARE(platform::ToQColor(GetSfpColor(SFPCOLOR_TEAL)), QColor(0, 128, 128));
}

QTEST_MAIN(SfpColorTest)
#include "SfpColorTest.moc"
