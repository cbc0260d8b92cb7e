#include "histogram/Histo.h"

#include "controls/SfpColor.h"

#include <QWidget>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

using platform::BkMode;
using platform::Brush;
using platform::DrawContext;
using platform::Pen;
using platform::Rect;
using platform::TextAlign;

namespace {

// Chart arithmetic runs in 64 bits so that no rectangle, however large, overflows it.
using i64 = long long;

// More vertical-axis labels than this are never drawn, so that an absurd label count
// cannot keep Draw busy without end.
constexpr int kMaxYLabels = 1000;

// A coordinate saturated to the range the drawing context takes.
int Px(i64 v) {
    return static_cast<int>(std::clamp<i64>(v, INT_MIN, INT_MAX));
}

Rect MakeRect(i64 left, i64 top, i64 right, i64 bottom) {
    return {Px(left), Px(top), Px(right), Px(bottom)};
}

// The integer part of v, truncated toward zero. NaN gives 0 and values beyond the int
// range saturate, where a plain conversion would be undefined.
i64 Trunc(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= INT_MAX) {
        return INT_MAX;
    }
    if (v <= INT_MIN) {
        return INT_MIN;
    }
    return static_cast<i64>(v);
}

QString FormatG(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return QString::fromLatin1(buf);
}

i64 Length(const QString& text) {
    return text.size();
}

} // namespace

struct Chisto::Layout {
    i64 x0 = 0;   // the vertical axis
    i64 y0 = 0;   // the horizontal axis
    i64 yTop = 0; // top end of the vertical axis
    i64 xEnd = 0; // right end of the horizontal axis
    i64 W = 0;    // plot width
    i64 H = 0;    // plot height
    i64 h = 0;    // text height
    i64 cw = 0;   // widest character
};

Chisto::Chisto(int nBins, const Rect& rect, platform::ColorRef crBar, platform::ColorRef crBack,
               platform::ColorRef crOutline, const QWidget* pFontWnd, std::int16_t nFrameStyle)
    : m_nBins(std::max(nBins, 0)), m_crBar(crBar), m_crBack(crBack), m_pFontWnd(pFontWnd),
      m_rect(rect), m_pBins(static_cast<std::size_t>(m_nBins)), m_crOutline(crOutline),
      m_nFrameStyle(nFrameStyle) {}

void Chisto::SetXAxis(double xMin, double xMax, const QString& label, const char* title) {
    m_dXMin = xMin;
    m_dXMax = xMax;
    m_strLabel = label;
    if (title != nullptr) {
        const std::size_t n = strnlen(title, kTitleMax);
        std::memcpy(m_szTitle, title, n);
        m_szTitle[n] = '\0';
    }
}

void Chisto::Draw(DrawContext& dc) const {
    QFont oldFont;
    if (m_pFontWnd != nullptr) {
        oldFont = dc.SelectFont(m_pFontWnd->font());
    }
    const Layout lay = MakeLayout(dc.GetTextMetrics());
    const Pen axisPen{GetSfpColor(SFPCOLOR_BLACK), 2};
    const Pen shadowPen{GetSfpColor(SFPCOLOR_SHADOW), 2};
    const Pen highlightPen{GetSfpColor(SFPCOLOR_HIGHLIGHT), 2};
    const Pen oldPen = dc.CurrentPen();
    const Brush oldBrush = dc.CurrentBrush();

    dc.FillRect(m_rect, m_crBack);
    DrawFrame(dc, shadowPen, highlightPen);

    dc.SelectPen(axisPen);
    dc.SetTextColor(platform::Rgb(0, 0, 255));
    dc.SetBkMode(BkMode::Transparent);
    dc.MoveTo(Px(lay.x0), Px(lay.yTop));
    dc.LineTo(Px(lay.x0), Px(lay.y0));
    dc.LineTo(Px(lay.xEnd), Px(lay.y0));

    dc.SelectPen(Pen{m_crOutline, 1});
    DrawTitle(dc, lay);
    DrawYLabels(dc, lay);
    DrawXTexts(dc, lay);
    dc.SelectBrush(Brush{m_crBar});
    DrawBars(dc, lay);

    if (m_pFontWnd != nullptr) {
        dc.SelectFont(oldFont);
    }
    dc.SelectBrush(oldBrush);
    dc.SelectPen(oldPen);
}

Chisto::Layout Chisto::MakeLayout(const platform::TextMetrics& tm) const {
    const i64 w = i64{m_rect.right} - m_rect.left;
    const i64 g = i64{m_rect.bottom} - m_rect.top;
    Layout lay;
    lay.x0 = m_rect.left + w / 5;
    lay.y0 = m_rect.bottom - g / 5;
    lay.yTop = m_rect.top + g / 10;
    lay.xEnd = m_rect.left + (9 * w) / 10;
    lay.W = lay.xEnd - lay.x0;
    lay.H = lay.y0 - lay.yTop;
    lay.h = tm.height;
    lay.cw = tm.maxCharWidth;
    return lay;
}

// Left and top edges in the first pen, right and bottom in the second: sunken (style 1)
// starts in shadow, raised (style 0) in highlight.
void Chisto::DrawFrame(DrawContext& dc, const Pen& shadow, const Pen& highlight) const {
    if (m_nFrameStyle != 0 && m_nFrameStyle != 1) {
        return;
    }
    const bool sunken = m_nFrameStyle == 1;
    const Rect& r = m_rect;
    dc.SelectPen(sunken ? shadow : highlight);
    dc.MoveTo(r.left, r.bottom);
    dc.LineTo(r.left, r.top);
    dc.LineTo(r.right, r.top);
    dc.SelectPen(sunken ? highlight : shadow);
    dc.LineTo(r.right, r.bottom);
    dc.LineTo(r.left, r.bottom);
}

// The title sits in the lower left corner, under the vertical-axis labels.
void Chisto::DrawTitle(DrawContext& dc, const Layout& lay) const {
    if (m_szTitle[0] == '\0') {
        return;
    }
    const i64 left = m_rect.left;
    const i64 bottom = m_rect.bottom;
    dc.DrawText(QString::fromUtf8(m_szTitle),
                MakeRect(left + 3, bottom - lay.h - 3, lay.x0 + 3, bottom - 3), TextAlign::Center);
}

// Labels evenly spaced from y0 upward; the top one shows m_dYMax exactly.
void Chisto::DrawYLabels(DrawContext& dc, const Layout& lay) const {
    const double n = m_dYLabels;
    double valueStep = 0.0;
    i64 pixelStep = 0;
    if (n != 0.0) {
        valueStep = (m_dYMax - m_dYMin) / (n - 1.0);
        pixelStep = Trunc(static_cast<double>(lay.H) / (n - 1.0));
    }
    const i64 left = i64{m_rect.left} + 2;
    for (int i = 0; i < n && i < kMaxYLabels; ++i) {
        const double value = i == n - 1.0 ? m_dYMax : i * valueStep + m_dYMin;
        const i64 y = lay.y0 - i * pixelStep;
        dc.DrawText(FormatG(value), MakeRect(left, y - lay.h / 2, lay.x0 - 2, y + lay.h / 2 + 1),
                    TextAlign::Center);
    }
}

// Both ends of the horizontal axis and the label centred under it, in one row.
void Chisto::DrawXTexts(DrawContext& dc, const Layout& lay) const {
    const i64 top = lay.y0 + 2;
    const i64 bottom = top + lay.h;
    const QString low = FormatG(m_dXMin);
    const QString high = FormatG(m_dXMax);
    const i64 right = lay.x0 + lay.W;
    dc.DrawText(low, MakeRect(lay.x0, top, lay.x0 + Length(low) * lay.cw, bottom), TextAlign::Left);
    dc.DrawText(high, MakeRect(right - Length(high) * lay.cw, top, right, bottom),
                TextAlign::Right);
    const i64 mid = lay.x0 + lay.W / 2;
    const i64 half = (Length(m_strLabel) * lay.cw) / 2;
    dc.DrawText(m_strLabel, MakeRect(mid - half, top, mid + half, bottom), TextAlign::Center);
}

// One rectangle per bin, standing on the pixel row above the axis. Edges are measured
// from the vertical axis by their distance, so an edge below m_dXMin still lands right
// of the axis.
void Chisto::DrawBars(DrawContext& dc, const Layout& lay) const {
    const double xRange = m_dXMax - m_dXMin;
    const double yRange = m_dYMax - m_dYMin;
    if (xRange == 0.0 || yRange == 0.0) {
        return;
    }
    const auto W = static_cast<double>(lay.W);
    const auto H = static_cast<double>(lay.H);
    const i64 bottom = lay.y0 - 1;
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(m_nBins, 0)), m_pBins.size());
    for (std::size_t i = 0; i < count; ++i) {
        const HISTOBIN& bin = m_pBins[i];
        const i64 left = lay.x0 + std::abs(Trunc((bin.dLow - m_dXMin) / xRange * W));
        const i64 right = lay.x0 + std::abs(Trunc((bin.dHigh - m_dXMin) / xRange * W));
        const i64 top = bottom - Trunc((bin.nCount - m_dYMin) * H / yRange);
        dc.Rectangle(MakeRect(left, top, right, bottom));
    }
}
