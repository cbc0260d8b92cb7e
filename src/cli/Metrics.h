#pragma once
// Every present reading of the mainframe in the Prometheus text exposition format, one
// family per kind in base units (rpm, amperes, watts, degrees Celsius, volts), labelled
// with the rack (the instrument's name), the kind and the object, and for the slot
// sensors the position. Ready for node_exporter's textfile collector.
#include "core/DriverInstrument.h"
#include "core/QuantityCatalogue.h"

#include <array>
#include <ostream>
#include <string>
#include <vector>

struct LevelSample {
    QuantityKind kind;
    int position; // as ObjectCodeOf takes it
    int count;    // values in use: 3 for the slot sensors, 1 otherwise
    std::array<double, 3> values;
};

struct LevelScrape {
    std::vector<LevelSample> samples;
    std::vector<std::string> errors; // error-queue entries the readings found
};

// Reads every object of every kind. A reading after which the error queue held an entry
// (a limit exceeded, say) still counts, and the entry is kept; any other failure throws
// CInstrumentException.
LevelScrape ReadAllLevels(CDriverInstrument& instrument);

void WriteExposition(const LevelScrape& scrape, const std::string& rack, std::ostream& out);
