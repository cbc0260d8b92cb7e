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

// The columns of the rows, in order: time, resource, name, up, status, kind, object,
// position, value, unit, si_value, si_unit, object_over_limit.
const std::vector<std::string>& SnapshotColumns();
Table SnapshotTable(const Snapshot& snapshot, const RackId& rack);
// The CSV rows without the header, each ending in a newline.
std::string SnapshotCsv(const Snapshot& snapshot, const RackId& rack);
// One JSON document: resource, name, time, up, status, reason, duration_seconds,
// error_queue, readings, entries. On one line (JSON Lines) or one reading a line.
std::string SnapshotJson(const Snapshot& snapshot, const RackId& rack, bool oneLine);
