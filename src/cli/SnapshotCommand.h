#pragma once
// ksm7720 snapshot: every reading of the rack (or of the kinds named) in one session. A
// rack that cannot be read still gives its row, with up false, before the command fails;
// a missing VISA or driver library fails it before any row.
#include "cli/CommandLine.h"
#include "cli/Request.h"
#include "cli/SnapshotFormat.h"
#include "core/Discovery.h"

#include <ostream>

int RunSnapshot(const Request& request, const Invocation& invocation, CDiscovery& discovery);

// The snapshot in format, of the kinds read (the wide layout's columns); CSV and text
// with their header. Every format carries the error-queue entries.
void WriteSnapshot(const Snapshot& snapshot, const RackId& rack, OutputFormat format,
                   const KindSet& kinds, bool header, std::ostream& out);

// The rack as messages name it: "bay-1 (VXI0::24::INSTR)", or its resource alone.
std::string RackLabel(const RackId& rack);
