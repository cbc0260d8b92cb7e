#pragma once
// The DrawContext over a QPainter, painting with the rules DrawContext.h states.
// Antialiasing is off so every line lands on whole pixels.
#include "platform/DrawContext.h"

class QPainter;

namespace platform {

class QtDrawContext : public DrawContext {
public:
    // The painter must be active; its font is the initially selected font.
    explicit QtDrawContext(QPainter& painter);
    ~QtDrawContext() override;

    Pen SelectPen(const Pen& pen) override;
    Brush SelectBrush(const Brush& brush) override;
    QFont SelectFont(const QFont& font) override;
    Pen CurrentPen() const override { return m_pen; }
    Brush CurrentBrush() const override { return m_brush; }
    QFont CurrentFont() const override;

    ColorRef SetTextColor(ColorRef color) override;
    ColorRef SetBkColor(ColorRef color) override;
    BkMode SetBkMode(BkMode mode) override;
    ColorRef TextColor() const override { return m_textColor; }
    BkMode CurrentBkMode() const override { return m_bkMode; }

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(const Rect& r) override;
    void Ellipse(const Rect& r) override;
    void Arc(const Rect& r, Point start, Point end) override;
    void FillRect(const Rect& r, ColorRef color) override;

    TextMetrics GetTextMetrics() const override;
    Size GetTextExtent(const QString& text) const override;
    void TextOut(int x, int y, const QString& text, const Rect& clip) override;
    void DrawText(const QString& text, const Rect& r, TextAlign align) override;

private:
    void ApplyPen();
    void FillTextBackground(const QRect& cell, const QRect& clip);

    QPainter& m_painter;
    Pen m_pen;
    Brush m_brush;
    ColorRef m_textColor = Rgb(0, 0, 0);
    ColorRef m_bkColor = Rgb(255, 255, 255);
    BkMode m_bkMode = BkMode::Opaque;
    Point m_pos;
};

} // namespace platform
