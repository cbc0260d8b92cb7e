#pragma once
// A snapshot as the command line writes it: one row per value (a slot sensor's front,
// middle and rear are three) in text, CSV or JSON Lines, or one JSON document per
// snapshot. A rack that could not be read is one row with up false and its status.
#include "cli/Table.h"
#include "core/Snapshot.h"

#include <string>
#include <vector>

// The rack a snapshot is of, as its rows name it.
struct RackId {
    std::string resource;
    std::string name;   // the lab's; may be empty
    std::string reason; // why the rack could not be read, when it could not
};

// The columns of the rows, in order: time (the value's), resource, name, up, status, kind,
// object, position, value, unit, si_value, si_unit, object_over_limit (the mainframe's
// verdict on the whole object), snapshot_time (when the snapshot began: the same on all
// its rows), error (on the row of a rack not up, why). After the values, a row of kind
// ERROR for each error-queue entry drained: its code as the value, its text as the error.
const std::vector<std::string>& SnapshotColumns();
Table SnapshotTable(const Snapshot& snapshot, const RackId& rack);
// The CSV rows without the header, each ending in a newline.
std::string SnapshotCsv(const Snapshot& snapshot, const RackId& rack);
// One JSON document: resource, name, time, up, status, reason, duration_seconds,
// error_queue, readings, entries. On one line (JSON Lines) or one reading a line.
std::string SnapshotJson(const Snapshot& snapshot, const RackId& rack, bool oneLine);
