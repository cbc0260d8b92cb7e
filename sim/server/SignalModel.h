#pragma once

#include <cstdint>

// The present values of the mainframe's objects as a function of simulated time: each moves
// smoothly around its nominal value with a little noise. The same seed and time give the
// same reading.
class CSignalModel {
public:
    CSignalModel(uint32_t seed, int blowers) : m_seed(seed), m_blowers(blowers) {}

    // Fills the reading of `code` at time `t` (seconds, negative before the bench started)
    // and returns how many values it has:
    // 3 for slot outlet and rise sensors, 1 for the others, 0 for a code that names nothing.
    int Level(int code, double t, double values[3]) const;
    // False for a blower that is not fitted: it reads 0 and keeps no history.
    bool Fitted(int code) const;

private:
    // A value in [-1, 1] that drifts with time, distinct for each code and sensor.
    double Wobble(int code, int sensor, double t) const;
    double Supply(int code, double t) const;

    uint32_t m_seed;
    int m_blowers;
};
