#include "controls/ColorLabel.h"

#include "platform/Accessibility.h"
#include "platform/QtDrawContext.h"

#include <QPainter>

#include <utility>

using platform::ColorRef;
using platform::DrawContext;
using platform::Rect;

CColorLabel::CColorLabel(ColorRef bkColor, ColorRef textColor, ColorRef borderColor1,
                         ColorRef borderColor2, bool bBorder, std::optional<QFont> font,
                         QWidget* fontWnd, QWidget* parent)
    : QWidget(parent), m_bkColor(bkColor), m_textColor(textColor), m_borderColor1(borderColor1),
      m_borderColor2(borderColor2), m_font(std::move(font)), m_bBorder(bBorder),
      m_pFontWnd(fontWnd) {
    platform::SetAccessibleRole(this, QAccessible::StaticText);
}

void CColorLabel::SetText(const QString& text) {
    m_strText = text;
    setAccessibleName(text); // what a screen reader says for it
    // Qt paints only inside a paint event, so SetText's picture is drawn by a
    // synchronous repaint; a hidden label paints nothing and keeps no pending picture.
    m_bSetTextPaint = true;
    repaint();
    m_bSetTextPaint = false;
}

void CColorLabel::SetBorderColors(ColorRef first, ColorRef second) {
    m_borderColor1 = first;
    m_borderColor2 = second;
}

void CColorLabel::Paint(DrawContext& dc) const {
    const QFont oldFont = SelectTextFont(dc);
    Rect r = Rect::FromQRect(rect());
    r.Deflate(2);
    if (m_bBorder) {
        const platform::Pen oldPen = dc.SelectPen({m_borderColor1, 2});
        dc.MoveTo(r.left, r.bottom);
        dc.LineTo(r.left, r.top);
        dc.LineTo(r.right, r.top);
        dc.SelectPen({m_borderColor2, 2});
        dc.LineTo(r.right, r.bottom);
        dc.LineTo(r.left, r.bottom);
        dc.SelectPen(oldPen);
        r.Deflate(1);
        dc.FillRect(r, m_bkColor);
        r.Inflate(1);
    }
    DrawLabelText(dc, r);
    dc.SelectFont(oldFont);
}

void CColorLabel::PaintSetText(DrawContext& dc) const {
    Rect r = Rect::FromQRect(rect());
    // Equal border colours are taken for "no border": the whole label is filled.
    if (m_borderColor1 != m_borderColor2) {
        r.Deflate(2);
    }
    dc.FillRect(r, m_bkColor);
    const QFont oldFont = SelectTextFont(dc);
    DrawLabelText(dc, r);
    dc.SelectFont(oldFont);
}

void CColorLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    platform::QtDrawContext dc(painter);
    // SetText draws over the label as it stands, so its picture goes on top of the
    // ordinary one that Qt's repaint has just erased.
    Paint(dc);
    if (m_bSetTextPaint) {
        PaintSetText(dc);
    }
}

// Selects the font-source window's font, then the label's own font, which wins.
// Returns the font selected before.
QFont CColorLabel::SelectTextFont(DrawContext& dc) const {
    const QFont oldFont = dc.CurrentFont();
    if (m_pFontWnd) {
        dc.SelectFont(m_pFontWnd->font());
    }
    if (m_font) {
        dc.SelectFont(*m_font);
    }
    return oldFont;
}

// Centred in r when the text fits; at 0 along an axis where it does not.
platform::Point CColorLabel::TextPosition(const DrawContext& dc, const Rect& r) const {
    const platform::Size extent = dc.GetTextExtent(m_strText);
    const int x = extent.cx < r.Width() ? r.left + (r.Width() - extent.cx) / 2 : 0;
    const int y = extent.cy < r.Height() ? r.top + (r.Height() - extent.cy) / 2 : 0;
    return {x, y};
}

void CColorLabel::DrawLabelText(DrawContext& dc, const Rect& r) const {
    dc.SetBkMode(platform::BkMode::Transparent);
    dc.SetBkColor(m_bkColor);
    dc.SetTextColor(m_textColor);
    if (!m_strText.isEmpty()) {
        const platform::Point pos = TextPosition(dc, r);
        dc.TextOut(pos.x, pos.y, m_strText, r);
    }
}
