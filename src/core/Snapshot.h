#pragma once
// Every reading of one rack taken in one session: what the command line's snapshot and log,
// the exporter's scrape and the Python module are all made from.
#include "core/ErrorQueue.h"
#include "core/ErrorQueueUse.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityCatalogue.h"
#include "core/WallClock.h"

#include <array>
#include <chrono>
#include <string>
#include <vector>

// The mainframe's word on a reading: over its limit, within it, or not known (the queue
// was left alone, or held an entry other than a limit excursion after the reading).
enum class Verdict { False, True, Unknown };

const char* VerdictName(Verdict verdict); // "false", "true", "unknown"

struct SnapshotReading {
    QuantityKind kind;
    int position;       // as ObjectCodeOf takes it
    std::string object; // as the panel lists it: "BLOWER1", "P5", "OUT3", "AMBIENT"
    int count;          // values in use: 3 for the slot sensors (front, middle, rear), else 1
    std::array<double, 3> values;   // in the mainframe's unit (KindInfo(kind).unit)
    std::array<double, 3> siValues; // in the base unit (SiUnitOf(kind).symbol)
    // The mainframe's verdict on the object: it judges a slot sensor as one object, so
    // the verdict belongs to no one of its positions.
    Verdict objectOverLimit;
    WallTime time; // when the mainframe answered
};

struct Snapshot {
    bool up = false;             // every chosen object was read; otherwise no readings at all
    bool cancelled = false;      // not up because the read was given up between two objects
    InstrumentStatus status = 0; // the failing call's status when not up (0 when cancelled)
    std::string statusName;      // "VI_ERROR_TMO", or its code when it has no name
    std::string reason;          // why, in words (DescribeFailure), when not up
    ErrorQueueUse queue = ErrorQueueUse::Drain;
    WallTime time; // when the read began
    double durationSeconds = 0.0;
    std::vector<SnapshotReading> readings;
    std::vector<ErrorEntry> entries; // every entry drained, oldest first, failed read or not
};

// The kinds a snapshot reads; all of them unless chosen.
using KindSet = std::array<bool, kQuantityKindCount>;
constexpr KindSet kAllKinds{true, true, true, true, true};
