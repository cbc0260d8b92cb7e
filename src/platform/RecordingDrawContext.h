#pragma once
// A DrawContext that paints nothing and records every drawing call with the pen,
// brush and colours in force, so tests can assert exact coordinates. Text metrics are
// fixed numbers rather than a real font's, so the geometry under test is repeatable.
#include "platform/DrawContext.h"

#include <vector>

namespace platform {

enum class DrawOpKind { LineTo, Rectangle, Ellipse, Arc, FillRect, TextOut, DrawText };

struct DrawOp {
    DrawOpKind kind{};
    Point from;        // LineTo: the start; Arc: the start point
    Point to;          // LineTo: the end; Arc: the end point
    Rect rect;         // Rectangle, Ellipse, Arc, FillRect; the clip or layout rectangle of text
    QString text;      // TextOut, DrawText
    TextAlign align{}; // DrawText
    ColorRef fill = 0; // FillRect
    Pen pen;           // the pen in force
    Brush brush;       // the brush in force
    ColorRef textColor = 0;
    BkMode bkMode{};
    QFont font;
};

class RecordingDrawContext : public DrawContext {
public:
    // Every character measures charWidth; the font is height tall and maxCharWidth wide.
    explicit RecordingDrawContext(int height = 13, int maxCharWidth = 11, int charWidth = 6);

    const std::vector<DrawOp>& Ops() const { return m_ops; }
    std::vector<DrawOp> Ops(DrawOpKind kind) const;
    void Clear() { m_ops.clear(); }

    Pen SelectPen(const Pen& pen) override;
    Brush SelectBrush(const Brush& brush) override;
    QFont SelectFont(const QFont& font) override;
    Pen CurrentPen() const override { return m_pen; }
    Brush CurrentBrush() const override { return m_brush; }
    QFont CurrentFont() const override { return m_font; }

    ColorRef SetTextColor(ColorRef color) override;
    ColorRef SetBkColor(ColorRef color) override;
    BkMode SetBkMode(BkMode mode) override;
    ColorRef TextColor() const override { return m_textColor; }
    BkMode CurrentBkMode() const override { return m_bkMode; }

    void MoveTo(int x, int y) override { m_pos = {x, y}; }
    void LineTo(int x, int y) override;
    void Rectangle(const Rect& r) override;
    void Ellipse(const Rect& r) override;
    void Arc(const Rect& r, Point start, Point end) override;
    void FillRect(const Rect& r, ColorRef color) override;

    TextMetrics GetTextMetrics() const override { return {m_height, m_maxCharWidth}; }
    Size GetTextExtent(const QString& text) const override;
    void TextOut(int x, int y, const QString& text, const Rect& clip) override;
    void DrawText(const QString& text, const Rect& r, TextAlign align) override;

private:
    DrawOp Op(DrawOpKind kind) const;

    int m_height;
    int m_maxCharWidth;
    int m_charWidth;
    std::vector<DrawOp> m_ops;
    Pen m_pen;
    Brush m_brush;
    QFont m_font;
    ColorRef m_textColor = Rgb(0, 0, 0);
    ColorRef m_bkColor = Rgb(255, 255, 255);
    BkMode m_bkMode = BkMode::Opaque;
    Point m_pos;
};

} // namespace platform
