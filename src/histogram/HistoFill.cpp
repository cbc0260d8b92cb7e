#include "histogram/HistoFill.h"

#include "histogram/Histo.h"

#include <algorithm>

void FillHisto(Chisto& histo, const std::array<std::int32_t, 10>& counts,
               const std::array<std::int32_t, 10>& lows, const std::array<std::int32_t, 10>& highs,
               const QString& unit) {
    std::array<HISTOBIN, 10> bins;
    std::int32_t yMin = 2147483647;
    std::int32_t yMax = 0; // the top of the scale never goes below 0
    for (std::size_t i = 0; i < bins.size(); ++i) {
        bins[i] = {static_cast<double>(lows[i]), static_cast<double>(highs[i]), counts[i]};
        yMin = std::min(yMin, counts[i]);
        yMax = std::max(yMax, counts[i]);
    }
    histo.m_dYMin = yMin;
    histo.m_dYMax = yMax;
    histo.m_dYLabels = 3.0;
    histo.SetXAxis(bins.front().dLow, bins.back().dHigh, unit, nullptr);

    // A chart created by name has no bins yet; one built with fewer than ten keeps only
    // as many as it has room for.
    if (histo.m_pBins.empty()) {
        histo.m_pBins.resize(bins.size());
    }
    const std::size_t n = std::min(bins.size(), histo.m_pBins.size());
    std::copy_n(bins.begin(), n, histo.m_pBins.begin());
}
