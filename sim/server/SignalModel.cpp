#include "server/SignalModel.h"

#include "server/Catalogue.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A hash of the arguments mapped to [0, 1).
double Unit(uint64_t a, uint64_t b, uint64_t c) {
    return static_cast<double>(Mix(Mix(Mix(a) ^ b) ^ c) >> 11) / 9007199254740992.0;
}

} // namespace

double CSignalModel::Wobble(int code, int sensor, double t) const {
    uint64_t key = static_cast<uint64_t>(code) * 4 + static_cast<uint64_t>(sensor);
    double phase1 = kTwoPi * Unit(m_seed, key, 1);
    double phase2 = kTwoPi * Unit(m_seed, key, 2);
    double period1 = 240.0 + 13 * code + 7 * sensor;
    double period2 = 37.0 + 3 * code + sensor;
    // Through int64_t: times before the start (a warm-up) are negative.
    auto second = static_cast<uint64_t>(static_cast<int64_t>(std::floor(t)));
    double noise = 2 * Unit(m_seed, key, second + 3) - 1;
    return 0.6 * std::sin(kTwoPi * t / period1 + phase1) +
           0.3 * std::sin(kTwoPi * t / period2 + phase2) + 0.1 * noise;
}

double CSignalModel::Supply(int code, double t) const {
    const SimObject* obj = CCatalogue::Find(code);
    double spread = obj->kind == SimObject::Kind::Volt ? 0.004 : 0.06;
    return obj->nominal * (1.0 + spread * Wobble(code, 0, t));
}

bool CSignalModel::Fitted(int code) const {
    return code <= CCatalogue::kBlowerBase || code - CCatalogue::kBlowerBase <= m_blowers;
}

int CSignalModel::Level(int code, double t, double values[3]) const {
    const SimObject* obj = CCatalogue::Find(code);
    if (!obj)
        return 0;
    values[0] = values[1] = values[2] = 0.0;
    int count = CCatalogue::HasThreeValues(code) ? 3 : 1;
    switch (obj->kind) {
    case SimObject::Kind::Temperature: {
        // Air warms as it crosses the slot: front below middle below rear.
        double swing = code < 13 ? 15.0 : code < 26 ? 8.0 : 10.0;
        double step = code < 13 ? 18.0 : 10.0;
        for (int i = 0; i < count; ++i) {
            double offset = count == 3 ? step * (i - 1) : 0.0;
            values[i] = obj->nominal + offset + swing * Wobble(code, i, t);
        }
        break;
    }
    case SimObject::Kind::Power: {
        int supply = CCatalogue::SupplyIndex(code);
        double mv = Supply(CCatalogue::kVoltBase + supply, t);
        double ma = Supply(CCatalogue::kCurrentBase + supply, t);
        values[0] = std::fabs(mv * ma) / 1000.0;
        break;
    }
    case SimObject::Kind::Current:
    case SimObject::Kind::Volt:
        values[0] = Supply(code, t);
        break;
    case SimObject::Kind::Blower:
        if (Fitted(code))
            values[0] = obj->nominal * (1.0 + 0.03 * Wobble(code, 0, t));
        break;
    }
    for (int i = 0; i < count; ++i)
        values[i] = std::round(values[i]);
    return count;
}
