#include "server/History.h"

#include <cmath>

void CHistory::Add(double value, double seconds) {
    double bin = std::floor((value - m_low) / m_width);
    int k = bin < 0 ? 0 : bin >= kBins ? kBins - 1 : static_cast<int>(bin);
    m_seconds[k] += seconds;
}

std::array<int32_t, CHistory::kBins> CHistory::Counts(double unitSeconds) const {
    std::array<int32_t, kBins> out{};
    for (int k = 0; k < kBins; ++k) {
        double units = std::floor(m_seconds[k] / unitSeconds);
        out[k] = units >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(units);
    }
    return out;
}

std::array<int32_t, CHistory::kBins> CHistory::LowerBounds() const {
    std::array<int32_t, kBins> out{};
    for (int k = 0; k < kBins; ++k)
        out[k] = m_low + k * m_width;
    return out;
}

std::array<int32_t, CHistory::kBins> CHistory::UpperBounds() const {
    std::array<int32_t, kBins> out{};
    for (int k = 0; k < kBins; ++k)
        out[k] = m_low + (k + 1) * m_width - 1;
    return out;
}
