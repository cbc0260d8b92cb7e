#pragma once
// The base units that scripts and Prometheus take the readings in: volts, amperes, watts,
// degrees Celsius and revolutions per minute, from the mainframe's mV, mA, mW, tenths of a
// degree and RPM.
#include "core/QuantityCatalogue.h"

struct SiUnit {
    const char* symbol; // "V", "A", "W", "degC", "rpm"
    double divisor;     // from the mainframe's unit to this one
};

const SiUnit& SiUnitOf(QuantityKind kind);

// value, in the mainframe's unit for kind, in the base unit.
double ToSi(QuantityKind kind, double value);
