#pragma once
// One histogram of one monitored quantity, drawn as a bar chart with a labelled vertical
// and horizontal axis into a rectangle. The owner fills the scale members and the bins
// directly and the horizontal axis through SetXAxis; Draw only reads them.
#include "platform/Color.h"
#include "platform/DrawContext.h"
#include "platform/Geometry.h"

#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

struct HISTOBIN {
    double dLow = 0.0;  // lower edge, in the quantity's unit
    double dHigh = 0.0; // upper edge, in the quantity's unit
    std::int32_t nCount = 0;
};

class Chisto {
public:
    static constexpr int kTitleMax = 55; // longest title kept, without the nul

    // The form a chart has when created by name: no bins, every value zero.
    Chisto() = default;
    Chisto(int nBins, const platform::Rect& rect, platform::ColorRef crBar,
           platform::ColorRef crBack, platform::ColorRef crOutline, const QWidget* pFontWnd,
           std::int16_t nFrameStyle);

    // Sets the horizontal axis; a non-null title replaces the current one, cut to
    // kTitleMax characters.
    void SetXAxis(double xMin, double xMax, const QString& label, const char* title);
    // Draws the whole chart within m_rect. Leaves the font, pen and brush of dc as it found
    // them, its text colour blue and its text background transparent.
    void Draw(platform::DrawContext& dc) const;

    const char* Title() const { return m_szTitle; }
    double XMin() const { return m_dXMin; }
    double XMax() const { return m_dXMax; }
    const QString& Label() const { return m_strLabel; }

    std::int32_t m_nBins = 0;
    platform::ColorRef m_crBar = 0;
    platform::ColorRef m_crBack = 0;
    const QWidget* m_pFontWnd = nullptr; // labels use its font(); null: the context's font
    platform::Rect m_rect;
    std::vector<HISTOBIN> m_pBins; // m_nBins bins, allocated at construction; Draw reads
                                   // no more bins than it holds

private:
    char m_szTitle[kTitleMax + 1] = {};

public:
    double m_dYMin = 0.0;
    double m_dYMax = 0.0;
    double m_dYLabels = 0.0; // number of vertical-axis labels, a whole number
    platform::ColorRef m_crOutline = 0;
    std::int16_t m_nFrameStyle = 0; // 0 raised, 1 sunken, anything else no frame

private:
    double m_dXMin = 0.0;
    double m_dXMax = 0.0;
    QString m_strLabel;

    struct Layout;
    Layout MakeLayout(const platform::TextMetrics& tm) const;
    void DrawFrame(platform::DrawContext& dc, const platform::Pen& shadow,
                   const platform::Pen& highlight) const;
    void DrawTitle(platform::DrawContext& dc, const Layout& lay) const;
    void DrawYLabels(platform::DrawContext& dc, const Layout& lay) const;
    void DrawXTexts(platform::DrawContext& dc, const Layout& lay) const;
    void DrawBars(platform::DrawContext& dc, const Layout& lay) const;
};
