#pragma once
// ksm7720 log: a snapshot of each rack every --interval until --count, --duration, SIGINT
// or SIGTERM, appended to standard output or --output. A rack that cannot be read gives a
// row that says so and is opened afresh at its next interval. SIGINT and SIGTERM finish
// the rows in progress and end with status 0; an output that fails (a full disk, a removed
// folder) ends the log with status 1, the rows before it whole.
#include "cli/CommandLine.h"
#include "cli/Request.h"
#include "core/Discovery.h"

int RunLog(const Request& request, const Invocation& invocation, CDiscovery& discovery);
