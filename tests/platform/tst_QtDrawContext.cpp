// The Qt drawing context's pixel rules, checked on a QImage.
#include "platform/QtDrawContext.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <functional>

using namespace platform;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kBlue = Rgb(0, 0, 255);

// Paints on a white image through a QtDrawContext and returns the image.
QImage Paint(int w, int h, const std::function<void(DrawContext&)>& draw) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter painter(&image);
    {
        QtDrawContext dc(painter);
        draw(dc);
    }
    painter.end();
    return image;
}

bool Is(const QImage& image, int x, int y, ColorRef c) {
    return image.pixel(x, y) == ToQColor(c).rgb();
}

// The bounding box of every non-white pixel.
QRect Inked(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != kWhite) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

} // namespace

class TestQtDrawContext : public QObject {
    Q_OBJECT

private slots:
    void rectangleOutlinesAndFillsInsideExclusiveEdges() {
        const QImage img = Paint(20, 20, [](DrawContext& dc) {
            dc.SelectPen({kRed, 1});
            dc.SelectBrush({kBlue});
            dc.Rectangle({2, 3, 10, 8});
        });
        QCOMPARE(Inked(img), QRect(QPoint(2, 3), QPoint(9, 7)));
        for (int x = 2; x <= 9; ++x) {
            QVERIFY(Is(img, x, 3, kRed));
            QVERIFY(Is(img, x, 7, kRed));
        }
        for (int y = 3; y <= 7; ++y) {
            QVERIFY(Is(img, 2, y, kRed));
            QVERIFY(Is(img, 9, y, kRed));
        }
        for (int y = 4; y <= 6; ++y) {
            for (int x = 3; x <= 8; ++x) {
                QVERIFY(Is(img, x, y, kBlue));
            }
        }
    }

    void emptyRectanglesDrawNothing() {
        const QImage img = Paint(20, 20, [](DrawContext& dc) {
            dc.Rectangle({5, 5, 12, 5}); // a bar of no height
            dc.Ellipse({5, 5, 5, 12});
            dc.FillRect({8, 8, 4, 12}, kRed);
        });
        QVERIFY(Inked(img).isNull());
    }

    void fillRectCoversExactlyHalfOpenRange() {
        const QImage img = Paint(20, 20, [](DrawContext& dc) { dc.FillRect({4, 5, 9, 7}, kRed); });
        QCOMPARE(Inked(img), QRect(4, 5, 5, 2));
        QVERIFY(Is(img, 8, 6, kRed));
    }

    void onePixelLineExcludesEndPoint() {
        const QImage img = Paint(20, 20, [](DrawContext& dc) {
            dc.MoveTo(2, 4);
            dc.LineTo(10, 4);
            dc.MoveTo(15, 12);
            dc.LineTo(15, 5); // upwards
            dc.MoveTo(8, 18);
            dc.LineTo(3, 13); // diagonal, up and left
        });
        QCOMPARE(Inked(img.copy(0, 0, 14, 10)), QRect(2, 4, 8, 1));
        QCOMPARE(Inked(img.copy(14, 0, 6, 20)), QRect(1, 6, 1, 7));
        QCOMPARE(Inked(img.copy(0, 10, 14, 10)), QRect(4, 4, 5, 5));
        QVERIFY(Is(img, 4, 14, Rgb(0, 0, 0)) && !Is(img, 3, 13, Rgb(0, 0, 0)));
    }

    void twoPixelPenStraddlesTheLine() {
        const QImage img = Paint(20, 20, [](DrawContext& dc) {
            dc.SelectPen({kRed, 2});
            dc.MoveTo(4, 10);
            dc.LineTo(14, 10);
        });
        // The line's own row and the one above it, reaching a pixel past each end.
        QCOMPARE(Inked(img), QRect(3, 9, 12, 2));
    }

    // The frame a label draws edge by edge with 2-pixel pens closes at its corners.
    void twoPixelFrameClosesCorners() {
        const QImage img = Paint(30, 30, [](DrawContext& dc) {
            dc.SelectPen({kRed, 2});
            dc.MoveTo(5, 20);
            dc.LineTo(5, 5);
            dc.LineTo(20, 5);
            dc.SelectPen({kBlue, 2});
            dc.LineTo(20, 20);
            dc.LineTo(5, 20);
        });
        const QRect box = Inked(img);
        QCOMPARE(box.width(), box.height());
        for (const QPoint c :
             {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
            QVERIFY(img.pixel(c) != kWhite);
        }
        QVERIFY(Is(img, box.left(), box.top(), kRed));
        QVERIFY(Is(img, box.right(), box.bottom(), kBlue));
    }

    void ellipseStaysInsideExclusiveRect() {
        const QImage img = Paint(30, 30, [](DrawContext& dc) {
            dc.SelectPen({kRed, 1});
            dc.SelectBrush({kBlue});
            dc.Ellipse({4, 4, 20, 20});
        });
        QCOMPARE(Inked(img), QRect(QPoint(4, 4), QPoint(19, 19)));
        QVERIFY(Is(img, 12, 12, kBlue));
        QVERIFY(Is(img, 4, 12, kRed) || Is(img, 4, 11, kRed));
    }

    // The lamp's shadow arc: square (2, 0, 22, 20), from (4, 17) to (19, 2)
    // counter-clockwise, so it runs through the bottom and the right side only.
    void lampArcLiesOnLowerRightHalf() {
        const Rect square{2, 0, 22, 20};
        const QImage img = Paint(24, 20, [&](DrawContext& dc) {
            dc.SelectPen({kRed, 1});
            dc.Arc(square, {4, 17}, {19, 2});
        });
        const QImage circle = Paint(24, 20, [&](DrawContext& dc) {
            dc.SelectPen({kRed, 1});
            dc.Ellipse(square);
        });
        int count = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixel(x, y) != kWhite) {
                    ++count;
                    QVERIFY((x + 0.5 - 12) + (y + 0.5 - 10) >= -2.0); // lower right of centre
                    QCOMPARE(img.pixel(x, y), circle.pixel(x, y));    // on the outline circle
                }
            }
        }
        QVERIFY(count > 20);
        QVERIFY(Is(img, 11, 19, kRed) && Is(img, 21, 9, kRed)); // bottom and right
        QVERIFY(!Is(img, 11, 0, kRed) && !Is(img, 2, 9, kRed)); // not top, not left
    }

    void arcWithEqualRaysIsWholeEllipse() {
        const QImage img = Paint(24, 24, [](DrawContext& dc) {
            dc.Arc({2, 2, 22, 22}, {22, 12}, {22, 12});
        });
        QCOMPARE(Inked(img), QRect(QPoint(2, 2), QPoint(21, 21)));
    }

    void textIsClippedToItsRectangle() {
        const QImage img = Paint(120, 40, [](DrawContext& dc) {
            dc.SetTextColor(kRed);
            dc.SetBkMode(BkMode::Transparent);
            dc.TextOut(0, 5, QStringLiteral("WWWWWWWWWWWWWWWWWW"), {10, 8, 40, 14});
        });
        const QRect box = Inked(img);
        QVERIFY(!box.isNull());
        QVERIFY(QRect(10, 8, 30, 6).contains(box));
    }

    void drawTextAlignsOnTopLine() {
        const QString text = QStringLiteral("ab");
        int width = 0;
        int height = 0;
        auto draw = [&](TextAlign align) {
            return Paint(100, 40, [&](DrawContext& dc) {
                width = dc.GetTextExtent(text).cx;
                height = dc.GetTextMetrics().height;
                dc.SetBkColor(kBlue);
                dc.DrawText(text, {10, 5, 90, 35}, align);
            });
        };
        const QRect left = Inked(draw(TextAlign::Left));
        const QRect right = Inked(draw(TextAlign::Right));
        const QRect centre = Inked(draw(TextAlign::Center));
        QCOMPARE(left, QRect(10, 5, width, height));
        QCOMPARE(right, QRect(90 - width, 5, width, height));
        QCOMPARE(centre, QRect(10 + (80 - width) / 2, 5, width, height));
        QCOMPARE(draw(TextAlign::Left).pixel(10, 5), ToQColor(kBlue).rgb()); // opaque cell
    }

    void contextRestoresPainterState() {
        QImage image(10, 10, QImage::Format_RGB32);
        QPainter painter(&image);
        const QFont font = painter.font();
        const QPen pen = painter.pen();
        {
            QtDrawContext dc(painter);
            QFont other = font;
            other.setPixelSize(31);
            dc.SelectFont(other);
            dc.SelectPen({kRed, 2});
            dc.MoveTo(0, 0);
            dc.LineTo(5, 5);
        }
        QCOMPARE(painter.font(), font);
        QCOMPARE(painter.pen(), pen);
    }
};

QTEST_MAIN(TestQtDrawContext)
#include "tst_QtDrawContext.moc"
