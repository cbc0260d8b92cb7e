#pragma once
// What one scrape of a rack found, and what the lab says about the rack: everything the
// exposition is written from.
#include "core/ErrorQueueUse.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityCatalogue.h"
#include "core/Snapshot.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ScrapeResult {
    bool up = false;             // the mainframe was read; otherwise no readings
    bool cancelled = false;      // not up because the read was given up between two objects
    InstrumentStatus status = 0; // not up: the failing call's status (0 when cancelled)
    std::string statusName;      // and its name
    std::string reason;          // and why, in words
    double durationSeconds = 0.0;
    bool queueDrained = false;
    std::vector<SnapshotReading> readings; // those the exposition writes
    int dropped = 0;                       // readings left out for an entry after them
    std::map<int, int> entries;            // error number -> entries drained, up or not
    std::vector<std::string> entryTexts;   // their texts, oldest first, for a log
};

// A snapshot of every reading in the shape the exposition is written from. With the queue
// drained, a reading followed only by limit excursions counts as over its limit, one
// followed by anything else is dropped. A snapshot that is not up gives a result that is
// not up, with no readings, its status and reason, and the entries drained before it.
ScrapeResult ScrapeFrom(const Snapshot& snapshot);

struct RackLabels {
    std::optional<std::string> rack; // a label on every series (the textfile path)
    std::string resource;            // the VISA resource; empty when none was chosen
    std::string name;                // the lab's friendly name; may be empty
    std::optional<int> blowers;      // how many blowers are fitted, when the lab said

    bool operator==(const RackLabels&) const = default;
};
