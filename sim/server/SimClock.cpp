#include "server/SimClock.h"

CSimClock::CSimClock(double speed) : m_realBase(Clock::now()), m_speed(speed) {}

double CSimClock::Now() const {
    std::chrono::duration<double> real = Clock::now() - m_realBase;
    return m_base + real.count() * m_speed;
}

void CSimClock::SetSpeed(double speed) {
    m_base = Now();
    m_realBase = Clock::now();
    m_speed = speed;
}

void CSimClock::Advance(double seconds) {
    m_base += seconds;
}
