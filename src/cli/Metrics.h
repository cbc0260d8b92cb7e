#pragma once
// ksm7720 metrics: one scrape of the mainframe written for node_exporter's textfile
// collector, every series labelled with the rack. A failure still writes a whole
// exposition, with ksm7720_up 0, before the command fails. With --output the exposition
// replaces that file whole; a file it cannot write is kept as it was, and a failure.
#include "cli/CommandLine.h"
#include "core/Discovery.h"

#include <ostream>

// Opens the discovery and the mainframe, writes the exposition to out (or the --output
// file) and the reasons for a failure to err; the exit status.
int RunMetrics(const Invocation& invocation, CDiscovery& discovery, std::ostream& out,
               std::ostream& err);
