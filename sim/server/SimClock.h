#pragma once

#include <chrono>

// The simulated time of a bench, in seconds: real time multiplied by a speed factor, plus
// whatever was skipped ahead. At speed 0 time stands still except for explicit advances,
// which makes readings and histories repeatable.
class CSimClock {
public:
    explicit CSimClock(double speed = 1.0);

    double Now() const;
    double Speed() const { return m_speed; }
    void SetSpeed(double speed);
    void Advance(double seconds);

private:
    using Clock = std::chrono::steady_clock;

    double m_base = 0.0; // simulated time at m_realBase
    Clock::time_point m_realBase;
    double m_speed;
};
