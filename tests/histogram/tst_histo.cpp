// The histogram chart on the recording context (13-pixel text, 11-pixel widest character).
// A 100 x 100 area at (0, 0) puts the axis corner at (20, 80), W = H = 70.
#include "controls/SfpColor.h"
#include "histogram/Histo.h"
#include "histogram/HistoFill.h"
#include "platform/RecordingDrawContext.h"

#include <QWidget>
#include <QtTest>

#include <climits>
#include <cmath>
#include <cstring>

using namespace platform;
using Answer = std::array<std::int32_t, 10>;

namespace {

constexpr ColorRef kBar = Rgb(128, 0, 0), kBack = Rgb(192, 192, 192), kLine = Rgb(0, 0, 0);

Chisto Chart(int bins = 10, std::int16_t style = 2) {
    return Chisto(bins, {0, 0, 100, 100}, kBar, kBack, kLine, nullptr, style);
}

// Edges 0-249 ... 2250-2499, as the emulated instrument answers.
void Fill(Chisto& chart, const Answer& counts) {
    Answer lows{}, highs{};
    for (int i = 0; i < 10; ++i) {
        lows[i] = 250 * i;
        highs[i] = 250 * i + 249;
    }
    FillHisto(chart, counts, lows, highs, "Volt");
}

std::vector<DrawOp> Drawn(const Chisto& chart, DrawOpKind kind) {
    RecordingDrawContext dc;
    chart.Draw(dc);
    return dc.Ops(kind);
}

QStringList Texts(const Chisto& chart) {
    QStringList out;
    for (const DrawOp& op : Drawn(chart, DrawOpKind::DrawText)) {
        out << op.text;
    }
    return out;
}

} // namespace

class TestHisto : public QObject {
    Q_OBJECT
private slots:
    void emulatedAnswerGeometry();
    void scales();
    void frameStyles();
    void edgeBelowXMinAndTitle();
    void hostileValues();
};

void TestHisto::emulatedAnswerGeometry() {
    QWidget form; // the labels' font
    form.setFont(QFont("Sans", 17));
    Chisto chart = Chart();
    chart.m_pFontWnd = &form;
    Fill(chart, {0, 2, 4, 6, 8, 10, 12, 14, 16, 18});
    RecordingDrawContext dc;
    const Pen pen{Rgb(1, 2, 3), 3};
    const Brush brush{Rgb(4, 5, 6)};
    const QFont font("Serif", 9);
    dc.SelectPen(pen);
    dc.SelectBrush(brush);
    dc.SelectFont(font);
    chart.Draw(dc);
    QCOMPARE(dc.CurrentPen(), pen); // state restored, text colour and mode left set
    QCOMPARE(dc.CurrentBrush(), brush);
    QCOMPARE(dc.CurrentFont(), font);
    QCOMPARE(dc.TextColor(), Rgb(0, 0, 255));
    QCOMPARE(dc.CurrentBkMode(), BkMode::Transparent);
    QCOMPARE(dc.Ops(DrawOpKind::FillRect)[0].fill, kBack);
    const auto axes = dc.Ops(DrawOpKind::LineTo);
    QCOMPARE(axes.size(), size_t(2)); // style 2: no frame
    QCOMPARE(axes[0].from, (Point{20, 10}));
    QCOMPARE(axes[0].to, (Point{20, 80}));
    QCOMPARE(axes[1].to, (Point{90, 80}));

    const auto texts = dc.Ops(DrawOpKind::DrawText);
    const std::vector<std::pair<QString, Rect>> expected{
        {"0", {2, 74, 18, 87}},  {"9", {2, 39, 18, 52}},     {"18", {2, 4, 18, 17}},
        {"0", {20, 82, 31, 95}}, {"2499", {46, 82, 90, 95}}, {"Volt", {33, 82, 77, 95}}};
    QCOMPARE(texts.size(), expected.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        QCOMPARE(texts[i].text, expected[i].first);
        QCOMPARE(texts[i].rect, expected[i].second);
        QCOMPARE(texts[i].font, form.font());
    }

    const auto bars = dc.Ops(DrawOpKind::Rectangle);
    QCOMPARE(bars.size(), size_t(10));
    QCOMPARE(bars[0].rect, (Rect{20, 79, 26, 79})); // value 0: no height
    QCOMPARE(bars[1].rect, (Rect{27, 72, 33, 79}));
    QCOMPARE(bars[9].rect, (Rect{83, 79 - 70, 90, 79})); // value 18: full height
    QCOMPARE(bars[9].pen, (Pen{kLine, 1}));
    QCOMPARE(bars[9].brush, Brush{kBar});
}

void TestHisto::scales() {
    Chisto chart = Chart();
    Fill(chart, {5, 6, 7, 8, 9, 10, 9, 8, 7, 6});
    QCOMPARE(Texts(chart).mid(0, 3), (QStringList{"5", "7.5", "10"}));
    const auto bars = Drawn(chart, DrawOpKind::Rectangle);
    QCOMPARE(bars[0].rect.top, 79);
    QCOMPARE(bars[5].rect.top, 9);

    Fill(chart, {}); // all zero: no bars
    QCOMPARE(Texts(chart).mid(0, 3), (QStringList{"0", "0", "0"}));
    QVERIFY(Drawn(chart, DrawOpKind::Rectangle).empty());

    Fill(chart, {-4, -2, -3, -1, -4, -2, -3, -1, -2, -3}); // the top never below 0
    QCOMPARE(Texts(chart).mid(0, 3), (QStringList{"-4", "-2", "0"}));

    // The top label is m_dYMax itself, though the step sum prints 0 here.
    chart.m_dYMin = -1e17;
    chart.m_dYMax = 1;
    QCOMPARE(Texts(chart).mid(0, 3), (QStringList{"-1e+17", "-5e+16", "1"}));

    // Never filled: 0 at both axis ends, no vertical labels, no bars.
    QCOMPARE(Texts(Chart()), (QStringList{"0", "0", ""}));
    QVERIFY(Drawn(Chart(), DrawOpKind::Rectangle).empty());
}

void TestHisto::frameStyles() {
    const Point path[] = {{0, 100}, {0, 0}, {100, 0}, {100, 100}, {0, 100}};
    for (int style : {0, 1}) {
        const int first = style == 1 ? SFPCOLOR_SHADOW : SFPCOLOR_HIGHLIGHT;
        const int second = style == 1 ? SFPCOLOR_HIGHLIGHT : SFPCOLOR_SHADOW;
        const auto lines = Drawn(Chart(10, std::int16_t(style)), DrawOpKind::LineTo);
        QCOMPARE(lines.size(), size_t(6));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(lines[i].from, path[i]);
            QCOMPARE(lines[i].to, path[i + 1]);
            QCOMPARE(lines[i].pen, (Pen{GetSfpColor(i < 2 ? first : second), 2}));
        }
        QCOMPARE(lines[4].pen, (Pen{Rgb(0, 0, 0), 2}));
    }
}

void TestHisto::edgeBelowXMinAndTitle() {
    Chisto chart = Chart(1);
    chart.m_dYMax = 1;
    chart.m_pBins[0] = {50, 175, 1};
    char unterminated[60];
    std::memset(unterminated, 'T', sizeof unterminated);
    chart.SetXAxis(100, 200, "", unterminated);
    QCOMPARE(QByteArray(chart.Title()), QByteArray(55, 'T'));
    chart.SetXAxis(100, 200, "", nullptr); // no title: the old one stays
    QCOMPARE(Drawn(chart, DrawOpKind::Rectangle)[0].rect, (Rect{20 + 35, 9, 20 + 52, 79}));
    const DrawOp title = Drawn(chart, DrawOpKind::DrawText)[0];
    QCOMPARE(title.text, QString(55, 'T'));
    QCOMPARE(title.rect, (Rect{3, 84, 23, 97}));
}

// Values no instrument sends draw without undefined behaviour, overrun or hang, and a
// fill never writes past the bins a chart holds.
void TestHisto::hostileValues() {
    Chisto chart(3, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kBar, kBack, kLine, nullptr, 0);
    chart.SetXAxis(-1e300, NAN, QString(1000, 'x'), nullptr);
    chart.m_dYMin = -INFINITY;
    chart.m_dYMax = 1e300;
    chart.m_dYLabels = 1e12;
    chart.m_pBins[0] = {1e308, -1e308, INT_MIN};
    chart.m_pBins[1] = {NAN, INFINITY, INT_MAX};
    chart.m_nBins = 50;
    QCOMPARE(Drawn(chart, DrawOpKind::Rectangle).size(), size_t(3));
    chart.m_nBins = -5;
    chart.m_dYLabels = 1;
    QCOMPARE(Texts(chart).first(), QString("1e+300"));
    QVERIFY(Drawn(chart, DrawOpKind::Rectangle).empty());
    QVERIFY(Chart(-1).m_pBins.empty());

    Chisto small = Chart(4);
    Fill(small, {0, 2, 4, 6, 8});
    QCOMPARE(small.m_pBins.size(), size_t(4));
    QCOMPARE(small.m_pBins[3].nCount, 6);
    Chisto byName; // no bins yet: the fill makes room for ten
    Fill(byName, {0, 2, 4, 6, 8, 10, 12, 14, 16, 18});
    QCOMPARE(byName.m_pBins.size(), size_t(10));
    QCOMPARE(byName.m_pBins[9].dHigh, 2499.0);
    QCOMPARE(byName.XMax(), 2499.0);
}

QTEST_MAIN(TestHisto)
#include "tst_histo.moc"
