#pragma once

#include <array>
#include <cstdint>

// The ten-bin history of one object: how long its value stayed in each bin. Bin k covers
// [low + k*width, low + (k+1)*width - 1]; values below the first bin count in it, values
// above the last in the last.
class CHistory {
public:
    static constexpr int kBins = 10;

    CHistory(int low = 0, int width = 1) : m_low(low), m_width(width) {}

    void Add(double value, double seconds);
    void Reset() { m_seconds.fill(0.0); }

    // The time in each bin in whole units of `unitSeconds`, saturating at INT32_MAX.
    std::array<int32_t, kBins> Counts(double unitSeconds) const;
    std::array<int32_t, kBins> LowerBounds() const;
    std::array<int32_t, kBins> UpperBounds() const;

private:
    int m_low;
    int m_width;
    std::array<double, kBins> m_seconds{};
};
