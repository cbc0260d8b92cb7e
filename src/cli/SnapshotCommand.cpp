#include "cli/SnapshotCommand.h"

#include "cli/Commands.h"
#include "cli/RackLink.h"
#include "core/Text.h"

#include <iostream>

void WriteSnapshot(const Snapshot& snapshot, const RackId& rack, OutputFormat format, bool header,
                   std::ostream& out, std::ostream& err) {
    switch (format) {
    case OutputFormat::Text:
        WriteTable(SnapshotTable(snapshot, rack), OutputFormat::Text, out);
        break;
    case OutputFormat::Csv:
        out << (header ? CsvLine(SnapshotColumns()) + '\n' : "") << SnapshotCsv(snapshot, rack);
        break;
    case OutputFormat::Json:
    case OutputFormat::JsonLines:
        out << SnapshotJson(snapshot, rack, format == OutputFormat::JsonLines);
        return;
    }
    for (const ErrorEntry& entry : snapshot.entries) {
        err << "ksm7720: instrument reports error: " << entry.text << '\n';
    }
}

int RunSnapshot(const Request& request, const Invocation& invocation, CDiscovery& discovery) {
    CRackLink link({invocation.resource, invocation.name, invocation.errorQueue}, invocation,
                   discovery, request.kinds);
    RackId rack;
    const Snapshot snapshot = link.Read(rack);
    WriteSnapshot(snapshot, rack, invocation.format, true, std::cout, std::cerr);
    if (!snapshot.up) {
        std::cerr << "ksm7720: " << rack.reason << '\n';
        return kExitFailure;
    }
    return 0;
}
