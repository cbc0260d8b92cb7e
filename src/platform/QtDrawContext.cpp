#include "platform/QtDrawContext.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace platform {

namespace {

// The rectangle with left <= right and top <= bottom, as the shape calls take it.
Rect Normalized(Rect r) {
    if (r.left > r.right) {
        std::swap(r.left, r.right);
    }
    if (r.top > r.bottom) {
        std::swap(r.top, r.bottom);
    }
    return r;
}

// The pixels a 1-pixel outline of r passes through: [left, right - 1] x [top, bottom - 1].
QRect OutlineRect(const Rect& r) {
    return {r.left, r.top, r.Width() - 1, r.Height() - 1};
}

// The pixels of a 1-pixel line from a to b, b itself left out.
QList<QPoint> LinePixels(Point a, Point b) {
    QList<QPoint> pixels;
    const int dx = std::abs(b.x - a.x);
    const int dy = -std::abs(b.y - a.y);
    const int sx = a.x < b.x ? 1 : -1;
    const int sy = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    for (Point p = a; !(p == b);) {
        pixels.append({p.x, p.y});
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            p.x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            p.y += sy;
        }
    }
    return pixels;
}

// The counter-clockwise angle in degrees [0, 360) of (x, y) seen from the centre of
// shape, measured on the ellipse's own scale so that a ray and its arc point agree.
double EllipseAngle(const QRectF& shape, double x, double y) {
    const double dx = (x - shape.center().x()) / std::max(shape.width(), 1.0);
    const double dy = (shape.center().y() - y) / std::max(shape.height(), 1.0);
    const double deg = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    return deg < 0.0 ? deg + 360.0 : deg;
}

// Clears the pixels of image (placed at origin) that lie outside the counter-clockwise
// sweep from the ray through start to the ray through end; equal rays keep everything.
void KeepArc(QImage& image, QPoint origin, const QRectF& shape, Point start, Point end) {
    const double from = EllipseAngle(shape, start.x, start.y);
    double span = EllipseAngle(shape, end.x, end.y) - from;
    if (span <= 0.0) {
        span += 360.0;
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double a = EllipseAngle(shape, origin.x() + x + 0.5, origin.y() + y + 0.5);
            const double offset = a >= from ? a - from : a - from + 360.0;
            if (offset > span) {
                line[x] = 0;
            }
        }
    }
}

// Lines longer than this are left to Qt, which clips them to the device, rather than
// traced pixel by pixel.
constexpr int kMaxTracedLine = 1 << 14;

// Wider pens straddle the line and reach half their width past each end, so the
// corners of a frame drawn edge by edge close.
QPen ToQPen(const Pen& p) {
    QPen pen(ToQColor(p.color));
    pen.setWidth(std::max(p.width, 1));
    pen.setCapStyle(p.width <= 1 ? Qt::FlatCap : Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

} // namespace

QtDrawContext::QtDrawContext(QPainter& painter) : m_painter(painter) {
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
}

QtDrawContext::~QtDrawContext() {
    m_painter.restore();
}

Pen QtDrawContext::SelectPen(const Pen& pen) {
    return std::exchange(m_pen, pen);
}

Brush QtDrawContext::SelectBrush(const Brush& brush) {
    return std::exchange(m_brush, brush);
}

QFont QtDrawContext::SelectFont(const QFont& font) {
    QFont previous = m_painter.font();
    m_painter.setFont(font);
    return previous;
}

QFont QtDrawContext::CurrentFont() const {
    return m_painter.font();
}

ColorRef QtDrawContext::SetTextColor(ColorRef color) {
    return std::exchange(m_textColor, color);
}

ColorRef QtDrawContext::SetBkColor(ColorRef color) {
    return std::exchange(m_bkColor, color);
}

BkMode QtDrawContext::SetBkMode(BkMode mode) {
    return std::exchange(m_bkMode, mode);
}

void QtDrawContext::ApplyPen() {
    m_painter.setPen(ToQPen(m_pen));
}

void QtDrawContext::MoveTo(int x, int y) {
    m_pos = {x, y};
}

void QtDrawContext::LineTo(int x, int y) {
    const Point to{x, y};
    const bool traced = std::abs(static_cast<long long>(x) - m_pos.x) < kMaxTracedLine &&
                        std::abs(static_cast<long long>(y) - m_pos.y) < kMaxTracedLine;
    if (m_pen.width <= 1 && traced) {
        m_painter.setPen(ToQColor(m_pen.color));
        m_painter.drawPoints(LinePixels(m_pos, to));
    } else {
        ApplyPen();
        m_painter.drawLine(m_pos.x, m_pos.y, x, y);
    }
    m_pos = to;
}

void QtDrawContext::Rectangle(const Rect& r) {
    const Rect n = Normalized(r);
    if (n.Width() == 0 || n.Height() == 0) {
        return;
    }
    if (m_pen.width <= 1) {
        m_painter.fillRect(n.ToQRect(), ToQColor(m_pen.color));
    }
    Rect inside = n;
    inside.Deflate(1);
    FillRect(inside, m_brush.color);
    if (m_pen.width > 1) {
        ApplyPen();
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRect(OutlineRect(n));
    }
}

void QtDrawContext::Ellipse(const Rect& r) {
    const Rect n = Normalized(r);
    if (n.Width() == 0 || n.Height() == 0) {
        return;
    }
    ApplyPen();
    m_painter.setBrush(ToQColor(m_brush.color));
    m_painter.drawEllipse(OutlineRect(n));
    m_painter.setBrush(Qt::NoBrush);
}

// The arc is the part of the ellipse's own outline between the two rays, so it lies
// exactly on what Ellipse draws for the same rectangle.
void QtDrawContext::Arc(const Rect& r, Point start, Point end) {
    const Rect n = Normalized(r);
    if (n.Width() == 0 || n.Height() == 0) {
        return;
    }
    const int margin = std::max(m_pen.width, 1);
    const QRect device(0, 0, m_painter.device()->width(), m_painter.device()->height());
    const QRect visible = m_painter.transform().inverted().mapRect(device);
    const QRect area = n.ToQRect().adjusted(-margin, -margin, margin, margin).intersected(visible);
    if (area.isEmpty()) {
        return;
    }
    QImage outline(area.size(), QImage::Format_ARGB32_Premultiplied);
    outline.fill(Qt::transparent);
    {
        QPainter p(&outline);
        p.translate(-area.topLeft());
        p.setPen(ToQPen(m_pen));
        p.drawEllipse(OutlineRect(n));
    }
    KeepArc(outline, area.topLeft(), QRectF(n.ToQRect()), start, end);
    m_painter.drawImage(area.topLeft(), outline);
}

void QtDrawContext::FillRect(const Rect& r, ColorRef color) {
    if (r.Width() <= 0 || r.Height() <= 0) {
        return;
    }
    m_painter.fillRect(r.ToQRect(), ToQColor(color));
}

TextMetrics QtDrawContext::GetTextMetrics() const {
    const QFontMetrics fm = m_painter.fontMetrics();
    return {fm.height(), fm.maxWidth()};
}

Size QtDrawContext::GetTextExtent(const QString& text) const {
    const QFontMetrics fm = m_painter.fontMetrics();
    return {fm.horizontalAdvance(text), fm.height()};
}

void QtDrawContext::FillTextBackground(const QRect& cell, const QRect& clip) {
    if (m_bkMode == BkMode::Opaque) {
        m_painter.fillRect(cell.intersected(clip), ToQColor(m_bkColor));
    }
}

void QtDrawContext::TextOut(int x, int y, const QString& text, const Rect& clip) {
    if (text.isEmpty() || clip.Width() <= 0 || clip.Height() <= 0) {
        return;
    }
    const QFontMetrics fm = m_painter.fontMetrics();
    const QRect clipRect = clip.ToQRect();
    FillTextBackground(QRect(x, y, fm.horizontalAdvance(text), fm.height()), clipRect);
    m_painter.save();
    m_painter.setClipRect(clipRect, Qt::IntersectClip);
    m_painter.setPen(ToQColor(m_textColor));
    m_painter.drawText(x, y + fm.ascent(), text);
    m_painter.restore();
}

void QtDrawContext::DrawText(const QString& text, const Rect& r, TextAlign align) {
    const int width = m_painter.fontMetrics().horizontalAdvance(text);
    int x = r.left;
    if (align == TextAlign::Center) {
        x += (r.Width() - width) / 2;
    } else if (align == TextAlign::Right) {
        x = r.right - width;
    }
    TextOut(x, r.top, text, r);
}

} // namespace platform
