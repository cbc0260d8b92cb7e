#include "controls/LedButton.h"

#include "controls/SfpColor.h"
#include "platform/Accessibility.h"
#include "platform/QtDrawContext.h"

#include <QPainter>

#include <cmath>

using platform::Pen;
using platform::Rect;

namespace {

// Slightly less than pi/4; the shadow arc's ends truncate from it as designed.
constexpr double kArcAngle = 0.7853975;

// The largest square that fits in r, centred along the longer side.
Rect CentredSquare(const Rect& r) {
    const int w = r.Width();
    const int h = r.Height();
    if (h < w) {
        const int left = r.left + (w - h) / 2;
        return {left, r.top, left + h, r.top + h};
    }
    const int top = r.top + (h - w) / 2;
    return {r.left, top, r.left + w, top + w};
}

} // namespace

CLedButton::CLedButton(platform::ColorRef indicatorColor, platform::ColorRef bkColor,
                       QWidget* parent)
    : QAbstractButton(parent), m_indicatorColor(indicatorColor), m_bkColor(bkColor) {
    setFocusPolicy(Qt::NoFocus);
    platform::SetAccessibleRole(this, QAccessible::Indicator); // its owner names its state
}

void CLedButton::DrawItem(platform::DrawContext& dc, const Rect& item) const {
    const Pen oldPen = dc.SelectPen({m_bkColor, 1});
    const platform::Brush oldBrush = dc.SelectBrush({m_bkColor});
    dc.FillRect(item, m_bkColor);

    Rect square = CentredSquare(item);
    dc.SelectPen({GetSfpColor(SFPCOLOR_HIGHLIGHT), 1});
    dc.SelectBrush({GetSfpColor(SFPCOLOR_FACE)});
    dc.Ellipse(square);

    // The shadow on the lower-right half of the rim makes the lamp look raised.
    const int side = square.Width();
    const int r = side / 2;
    const double cosA = std::cos(kArcAngle);
    const double sinA = std::sin(kArcAngle);
    const platform::Point start{static_cast<int>(square.left + r * (1 - cosA)),
                                static_cast<int>(square.top + r * (1 + sinA))};
    const platform::Point end{static_cast<int>(square.left + r * (1 + cosA)),
                              static_cast<int>(square.top + r * (1 - sinA))};
    dc.SelectPen({GetSfpColor(SFPCOLOR_SHADOW), 1});
    dc.Arc(square, start, end);

    square.Deflate(static_cast<int>(0.2 * side));
    dc.SelectPen({GetSfpColor(SFPCOLOR_FACE), 1});
    dc.SelectBrush({m_indicatorColor});
    dc.Ellipse(square);

    dc.SelectPen(oldPen);
    dc.SelectBrush(oldBrush);
}

void CLedButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    platform::QtDrawContext dc(painter);
    DrawItem(dc, Rect::FromQRect(rect()));
}

// No point of the lamp presses it, so it never emits clicked.
bool CLedButton::hitButton(const QPoint&) const {
    return false;
}
