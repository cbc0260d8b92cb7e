#include "server/Catalogue.h"

#include <array>
#include <cmath>

namespace {

const char* const kSupplyNames[CCatalogue::kSupplies] = {"P5",  "P12",   "N12", "P24",
                                                         "N24", "N5PT2", "N2"};
const double kSupplyMv[CCatalogue::kSupplies] = {5000, 12000, -12000, 24000, -24000, -5200, -2000};
const double kSupplyMa[CCatalogue::kSupplies] = {12000, 2500, -1500, 800, -600, -6000, -3000};
const double kBlowerRpm[3] = {2800, 2750, 2900};

// A supply histogram spans nominal +-5 bin widths; the width is a fraction of the nominal.
SimObject Supply(int code, SimObject::Kind kind, const char* keyword, int index, double nominal,
                 double binFraction, double limitFactor) {
    int width = static_cast<int>(std::lround(std::fabs(nominal) * binFraction));
    return {code,
            kind,
            std::string(keyword) + " " + kSupplyNames[index],
            nominal,
            static_cast<int>(nominal) - 5 * width,
            width,
            std::fabs(nominal) * limitFactor};
}

std::array<SimObject, CCatalogue::kObjectCodes> Build() {
    using K = SimObject::Kind;
    std::array<SimObject, CCatalogue::kObjectCodes> t{};
    for (int s = 0; s < CCatalogue::kSlots; ++s) {
        t[s] = {s,  K::Temperature, "TEMP OUT" + std::to_string(s), 320.0 + 7 * (s % 5), 200, 40,
                550};
        t[13 + s] = {
            13 + s, K::Temperature, "TEMP DELT" + std::to_string(s), 60.0 + 4 * (s % 4), 0, 20,
            150};
    }
    t[26] = {26, K::Temperature, "TEMP AMBIENT", 235, 150, 20, 400};
    for (int i = 0; i < CCatalogue::kSupplies; ++i) {
        double mw = std::fabs(kSupplyMv[i] * kSupplyMa[i]) / 1000.0;
        t[27 + i] = Supply(27 + i, K::Power, "POWER", i, mw, 0.02, 1.25);
        t[35 + i] = Supply(35 + i, K::Current, "CURRENT", i, kSupplyMa[i], 0.02, 1.15);
        t[42 + i] = Supply(42 + i, K::Volt, "VOLT", i, kSupplyMv[i], 0.002, 1.05);
    }
    for (int b = 1; b <= 3; ++b) {
        double rpm = kBlowerRpm[b - 1];
        t[49 + b] = {
            49 + b, K::Blower, "BLOWER BLOW" + std::to_string(b), rpm, static_cast<int>(rpm) - 300,
            60,     3500};
    }
    return t;
}

} // namespace

const SimObject* CCatalogue::Find(int code) {
    static const std::array<SimObject, kObjectCodes> table = Build();
    if (code < 0 || code >= kObjectCodes || table[code].code != code)
        return nullptr;
    return &table[code];
}

int CCatalogue::SupplyIndex(int code) {
    if (code >= kVoltBase)
        return code - kVoltBase;
    if (code >= kCurrentBase)
        return code - kCurrentBase;
    return code - kPowerBase;
}
