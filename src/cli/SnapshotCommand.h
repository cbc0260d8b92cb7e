#pragma once
// ksm7720 snapshot: every reading of the rack (or of the kinds named) in one session. A
// rack that cannot be read still gives its row, with up false, before the command fails.
#include "cli/CommandLine.h"
#include "cli/Request.h"
#include "cli/SnapshotFormat.h"
#include "core/Discovery.h"

#include <ostream>

int RunSnapshot(const Request& request, const Invocation& invocation, CDiscovery& discovery);

// The snapshot in format; CSV and text with their header. Error-queue entries, which
// JSON carries, go to err in the other formats, as read and metrics report them.
void WriteSnapshot(const Snapshot& snapshot, const RackId& rack, OutputFormat format, bool header,
                   std::ostream& out, std::ostream& err);
