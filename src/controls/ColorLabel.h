#pragma once
// A text label with its own background and text colours and an optional two-colour 3D
// border. Its text can be replaced and shown at once with SetText.
#include "platform/Color.h"
#include "platform/DrawContext.h"

#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class CColorLabel : public QWidget {
    Q_OBJECT
public:
    // font: drawn in when given (copied). fontWnd: its current font is drawn in when
    // given and no font is; not owned, and forgotten when that window is destroyed.
    CColorLabel(platform::ColorRef bkColor, platform::ColorRef textColor,
                platform::ColorRef borderColor1, platform::ColorRef borderColor2, bool bBorder,
                std::optional<QFont> font = std::nullopt, QWidget* fontWnd = nullptr,
                QWidget* parent = nullptr);

    // Stores the text, which is also the label's accessible name, and paints it before
    // returning.
    void SetText(const QString& text);
    const QString& Text() const { return m_strText; }

    void SetBorderColors(platform::ColorRef first, platform::ColorRef second);
    platform::ColorRef BorderColor1() const { return m_borderColor1; }
    platform::ColorRef BorderColor2() const { return m_borderColor2; }
    void SetFontWnd(QWidget* fontWnd) { m_pFontWnd = fontWnd; }

    // The picture of an ordinary paint request.
    void Paint(platform::DrawContext& dc) const;
    // The picture SetText draws over what is on screen.
    void PaintSetText(platform::DrawContext& dc) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont SelectTextFont(platform::DrawContext& dc) const;
    platform::Point TextPosition(const platform::DrawContext& dc, const platform::Rect& r) const;
    void DrawLabelText(platform::DrawContext& dc, const platform::Rect& r) const;

    QString m_strText;
    platform::ColorRef m_bkColor;
    platform::ColorRef m_textColor;
    platform::ColorRef m_borderColor1; // left and top edges
    platform::ColorRef m_borderColor2; // right and bottom edges
    std::optional<QFont> m_font;
    bool m_bBorder;
    QPointer<QWidget> m_pFontWnd;
    bool m_bSetTextPaint = false; // the paint under way is SetText's
};
