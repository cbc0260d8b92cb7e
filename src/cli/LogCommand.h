#pragma once
// ksm7720 log: a snapshot of each rack every --interval until --count, --duration, SIGINT
// or SIGTERM, appended to standard output or --output (a regular file, or a new one). A
// missing VISA or driver library fails it before any row. A rack that cannot be read gives
// a row that says so and is opened afresh at its next interval; an interval that passes
// while a read hangs gets a BUSY row. Unless --timeout is given, the driver's time-out is
// half the interval, from 1 s to 12 s. SIGINT and SIGTERM finish the rows in progress
// (waiting at most half a second for a hung rack) and end with status 0; an output that
// fails (a full disk, a removed folder) ends the log with status 1, the rows before it whole.
#include "cli/CommandLine.h"
#include "cli/Request.h"
#include "core/Discovery.h"

int RunLog(const Request& request, const Invocation& invocation, CDiscovery& discovery);
