#pragma once
// The wide CSV layout of snapshot and log: one row per snapshot of a rack, one column per
// value in its base unit, so that a spreadsheet or pandas.read_csv takes it in one call.
#include "cli/SnapshotFormat.h"

#include <string>
#include <vector>

// snapshot_time, resource, name, up, status, then one column per value of the kinds, in the
// panel's order, named with the unit ("VOLT P5 [V]", "TEMPERATURE OUT3 rear [degC]"), then
// over_limit (the objects over their limit, "; " between them) and errors (the error-queue
// entries drained, "CODE TEXT", "; " between them).
std::vector<std::string> WideColumns(const KindSet& kinds);
// One row, ending in a newline; a rack not up has its value cells empty.
std::string WideCsv(const Snapshot& snapshot, const RackId& rack, const KindSet& kinds);
