#include "cli/SnapshotCommand.h"

#include "cli/Commands.h"
#include "cli/RackLink.h"
#include "cli/WideFormat.h"
#include "core/Text.h"

#include <iostream>

void WriteSnapshot(const Snapshot& snapshot, const RackId& rack, OutputFormat format,
                   const KindSet& kinds, bool header, std::ostream& out) {
    switch (format) {
    case OutputFormat::Text:
        WriteTable(SnapshotTable(snapshot, rack), OutputFormat::Text, out);
        break;
    case OutputFormat::Csv:
        out << (header ? CsvLine(SnapshotColumns()) + '\n' : "") << SnapshotCsv(snapshot, rack);
        break;
    case OutputFormat::Wide:
        out << (header ? CsvLine(WideColumns(kinds)) + '\n' : "") << WideCsv(snapshot, rack, kinds);
        break;
    case OutputFormat::Json:
    case OutputFormat::JsonLines:
        out << SnapshotJson(snapshot, rack, format == OutputFormat::JsonLines);
        break;
    }
}

std::string RackLabel(const RackId& rack) {
    const std::string resource =
        rack.resource.empty() ? "the rack discovery chooses" : rack.resource;
    return rack.name.empty() ? resource : rack.name + " (" + resource + ")";
}

int RunSnapshot(const Request& request, const Invocation& invocation, CDiscovery& discovery) {
    CheckLibraries(discovery);
    CRackLink link({invocation.resource, invocation.name, invocation.errorQueue}, invocation,
                   discovery, request.kinds);
    RackId rack;
    const Snapshot snapshot = link.Read(rack);
    WriteSnapshot(snapshot, rack, invocation.format, request.kinds, true, std::cout);
    for (const ErrorEntry& entry : snapshot.entries) {
        std::cerr << "ksm7720: " << RackLabel(rack) << ": instrument reports error: " << entry.text
                  << '\n';
    }
    if (!snapshot.up) {
        std::cerr << "ksm7720: " << RackLabel(rack) << ": " << rack.reason << '\n';
        return kExitFailure;
    }
    return 0;
}
