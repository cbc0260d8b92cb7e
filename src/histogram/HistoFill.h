#pragma once
// Puts the instrument's three histogram answers (bin values, lower edges, upper edges)
// into a chart: the bins, a vertical scale from the smallest value (or 0, whichever is
// larger at the top) with three labels, and the horizontal axis from the first lower edge
// to the last upper edge, labelled with unit.
#include <QString>

#include <array>
#include <cstdint>

class Chisto;

void FillHisto(Chisto& histo, const std::array<std::int32_t, 10>& counts,
               const std::array<std::int32_t, 10>& lows, const std::array<std::int32_t, 10>& highs,
               const QString& unit);
