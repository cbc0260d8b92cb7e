#include "controls/SfpColor.h"

#include <QApplication>
#include <QTest>

using platform::Rgb;

class SfpColorTest : public QObject {
    Q_OBJECT
private slots:
    void colours() {
        const std::pair<int, platform::ColorRef> fixed[] = {
            {SFPCOLOR_WHITE, Rgb(255, 255, 255)},
            {SFPCOLOR_BLACK, Rgb(0, 0, 0)},
            {SFPCOLOR_DARKGRAY, Rgb(64, 64, 64)},
            {SFPCOLOR_GRAY, Rgb(128, 128, 128)},
            {SFPCOLOR_LIGHTGRAY, Rgb(192, 192, 192)},
            {SFPCOLOR_TEAL, 0x02808000},
            {-1, Rgb(255, 255, 255)},
            {9, Rgb(255, 255, 255)}};
        for (const auto& [index, color] : fixed) {
            QCOMPARE(GetSfpColor(index), color);
        }
        QCOMPARE(platform::ToQColor(GetSfpColor(SFPCOLOR_TEAL)), QColor(0, 128, 128));

        // The scheme colours are read from the active palette at each call.
        GetSfpColor(SFPCOLOR_SHADOW);
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Active, QPalette::Dark, QColor(10, 1, 2));
        palette.setColor(QPalette::Active, QPalette::Light, QColor(10, 3, 4));
        palette.setColor(QPalette::Active, QPalette::Button, QColor(10, 5, 6));
        QApplication::setPalette(palette);
        QCOMPARE(GetSfpColor(SFPCOLOR_SHADOW), Rgb(10, 1, 2));
        QCOMPARE(GetSfpColor(SFPCOLOR_HIGHLIGHT), Rgb(10, 3, 4));
        QCOMPARE(GetSfpColor(SFPCOLOR_FACE), Rgb(10, 5, 6));
    }
};

QTEST_MAIN(SfpColorTest)
#include "SfpColorTest.moc"
