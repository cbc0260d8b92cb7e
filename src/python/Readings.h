#pragma once
// What the module hands to Python: plain values, copied out of the core's results while
// the interpreter is released, and turned into Python objects only after.
#include "core/ErrorQueue.h"
#include "core/Snapshot.h"

#include <optional>
#include <pybind11/pybind11.h>
#include <string>
#include <utility>
#include <vector>

struct PyReading {
    std::string kind;     // "VOLT"
    std::string name;     // "P5", "OUT3", "BLOWER1"
    std::string position; // "front", "middle", "rear" for a slot sensor; "" otherwise
    double value;         // as the mainframe gives it, in unit
    std::string unit;     // "mV", ".1 deg. C", ...
    double siValue;       // in siUnit
    std::string siUnit;   // "V", "degC", ...
    std::optional<bool> objectOverLimit; // nothing when the error queue could not tell
    double time;                         // when the mainframe answered, seconds since the epoch
};

struct PySnapshot {
    std::string resource;
    double time;     // when the read began, seconds since the epoch
    double duration; // seconds
    std::vector<PyReading> readings;
    std::vector<ErrorEntry> entries; // every error-queue entry met on the way, oldest first
};

struct PyHistogram {
    std::string kind;
    std::string name;
    std::vector<std::pair<int, int>> edges; // each bin's lower and upper bound, in unit
    std::vector<int> counts;                // time spent in each bin, in timeUnit
    std::string unit;
    std::string timeUnit;
    double time;
};

struct PyResource {
    std::string resource;
    std::string interface;
    bool mainframe;
};

struct PySelfTest {
    int result; // 0: passed
    std::string text;
};

// One reading per value: three for a slot sensor, one otherwise.
PySnapshot SnapshotValues(const Snapshot& snapshot, const std::string& resource);
double EpochSeconds(WallTime time);

// Binds the classes above (Reading, Snapshot, Histogram, Resource, ErrorEntry, SelfTest).
void RegisterReadings(pybind11::module_& module);
