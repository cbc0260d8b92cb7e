#pragma once
// The drawing surface the controls and the chart paint on. It keeps the pixel rules
// of the original graphics interface:
//  - Rectangle and Ellipse cover [left, right) x [top, bottom): right and bottom excluded;
//    the outline is drawn with the selected pen, the inside filled with the selected brush.
//  - LineTo draws from the current position to the point, excluding the point, and makes
//    the point the current position. A 2-pixel pen straddles the line.
//  - Arc runs along the ellipse inscribed in the rectangle, counter-clockwise on screen,
//    from the ray through the start point to the ray through the end point.
//  - Select* returns what was selected before, so callers can restore it.
//  - Text is placed by the top of its cell, clipped to its rectangle and never wrapped.
#include "platform/Color.h"
#include "platform/Geometry.h"

#include <QFont>
#include <QString>

namespace platform {

struct Pen {
    ColorRef color = Rgb(0, 0, 0);
    int width = 1;
    friend bool operator==(const Pen&, const Pen&) = default;
};

struct Brush {
    ColorRef color = Rgb(255, 255, 255);
    friend bool operator==(const Brush&, const Brush&) = default;
};

struct TextMetrics {
    int height = 0;       // the font's cell height
    int maxCharWidth = 0; // the widest character of the font
};

enum class BkMode { Opaque, Transparent };
enum class TextAlign { Left, Center, Right };

class DrawContext {
public:
    virtual ~DrawContext() = default;

    virtual Pen SelectPen(const Pen& pen) = 0;
    virtual Brush SelectBrush(const Brush& brush) = 0;
    virtual QFont SelectFont(const QFont& font) = 0;
    virtual Pen CurrentPen() const = 0;
    virtual Brush CurrentBrush() const = 0;
    virtual QFont CurrentFont() const = 0;

    virtual ColorRef SetTextColor(ColorRef color) = 0;
    virtual ColorRef SetBkColor(ColorRef color) = 0;
    virtual BkMode SetBkMode(BkMode mode) = 0;
    virtual ColorRef TextColor() const = 0;
    virtual BkMode CurrentBkMode() const = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Rectangle(const Rect& r) = 0;
    virtual void Ellipse(const Rect& r) = 0;
    virtual void Arc(const Rect& r, Point start, Point end) = 0;
    virtual void FillRect(const Rect& r, ColorRef color) = 0;

    virtual TextMetrics GetTextMetrics() const = 0;
    virtual Size GetTextExtent(const QString& text) const = 0;
    // Text whose cell's top-left corner is (x, y), clipped to clip.
    virtual void TextOut(int x, int y, const QString& text, const Rect& clip) = 0;
    // One line at the top of r, aligned horizontally within it, clipped to r.
    virtual void DrawText(const QString& text, const Rect& r, TextAlign align) = 0;
};

} // namespace platform
