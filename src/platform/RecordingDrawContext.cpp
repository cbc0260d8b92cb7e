#include "platform/RecordingDrawContext.h"

#include <algorithm>
#include <utility>

namespace platform {

RecordingDrawContext::RecordingDrawContext(int height, int maxCharWidth, int charWidth)
    : m_height(height), m_maxCharWidth(maxCharWidth), m_charWidth(charWidth) {}

std::vector<DrawOp> RecordingDrawContext::Ops(DrawOpKind kind) const {
    std::vector<DrawOp> out;
    std::copy_if(m_ops.begin(), m_ops.end(), std::back_inserter(out),
                 [kind](const DrawOp& op) { return op.kind == kind; });
    return out;
}

Pen RecordingDrawContext::SelectPen(const Pen& pen) {
    return std::exchange(m_pen, pen);
}
Brush RecordingDrawContext::SelectBrush(const Brush& brush) {
    return std::exchange(m_brush, brush);
}
QFont RecordingDrawContext::SelectFont(const QFont& font) {
    return std::exchange(m_font, font);
}
ColorRef RecordingDrawContext::SetTextColor(ColorRef color) {
    return std::exchange(m_textColor, color);
}
ColorRef RecordingDrawContext::SetBkColor(ColorRef color) {
    return std::exchange(m_bkColor, color);
}
BkMode RecordingDrawContext::SetBkMode(BkMode mode) {
    return std::exchange(m_bkMode, mode);
}

DrawOp RecordingDrawContext::Op(DrawOpKind kind) const {
    DrawOp op;
    op.kind = kind;
    op.pen = m_pen;
    op.brush = m_brush;
    op.textColor = m_textColor;
    op.bkMode = m_bkMode;
    op.font = m_font;
    return op;
}

void RecordingDrawContext::LineTo(int x, int y) {
    DrawOp op = Op(DrawOpKind::LineTo);
    op.from = m_pos;
    op.to = {x, y};
    m_ops.push_back(op);
    m_pos = {x, y};
}

void RecordingDrawContext::Rectangle(const Rect& r) {
    DrawOp op = Op(DrawOpKind::Rectangle);
    op.rect = r;
    m_ops.push_back(op);
}

void RecordingDrawContext::Ellipse(const Rect& r) {
    DrawOp op = Op(DrawOpKind::Ellipse);
    op.rect = r;
    m_ops.push_back(op);
}

void RecordingDrawContext::Arc(const Rect& r, Point start, Point end) {
    DrawOp op = Op(DrawOpKind::Arc);
    op.rect = r;
    op.from = start;
    op.to = end;
    m_ops.push_back(op);
}

void RecordingDrawContext::FillRect(const Rect& r, ColorRef color) {
    DrawOp op = Op(DrawOpKind::FillRect);
    op.rect = r;
    op.fill = color;
    m_ops.push_back(op);
}

Size RecordingDrawContext::GetTextExtent(const QString& text) const {
    return {static_cast<int>(text.size()) * m_charWidth, m_height};
}

void RecordingDrawContext::TextOut(int x, int y, const QString& text, const Rect& clip) {
    DrawOp op = Op(DrawOpKind::TextOut);
    op.from = {x, y};
    op.text = text;
    op.rect = clip;
    m_ops.push_back(op);
}

void RecordingDrawContext::DrawText(const QString& text, const Rect& r, TextAlign align) {
    DrawOp op = Op(DrawOpKind::DrawText);
    op.text = text;
    op.rect = r;
    op.align = align;
    m_ops.push_back(op);
}

} // namespace platform
