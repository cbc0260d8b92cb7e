#include "cli/Connection.h"

#include "core/ResourceChoice.h"

#include <ostream>

void OpenDiscovery(CDiscovery& discovery) {
    if (const auto failure = discovery.Open()) {
        throw CommandFailure(LibraryFailure(discovery, *failure));
    }
}

Table ListResources(const CDiscovery& discovery) {
    const auto probes = ProbeResources(discovery.Visa(), discovery.ResourceManager(), true);
    Table table{{"resource", "interface", "mainframe"}, {}};
    for (const ResourceProbe& probe : probes.value_or(std::vector<ResourceProbe>{})) {
        table.rows.push_back({TextCell(probe.descriptor),
                              TextCell(InterfaceName(probe.interfaceType)),
                              BooleanCell(probe.mainframe)});
    }
    return table;
}

SessionOptions RackOptions(const Invocation& invocation, const std::string& resource) {
    return {resource, invocation.timeOutMs, invocation.noIdentification};
}

CCommandFailure CommandFailure(const COpenFailure& failure) {
    CCommandFailure command{failure.lines, failure.status};
    for (std::size_t i = 1; i < command.lines.size(); ++i) {
        command.lines[i] = "  " + command.lines[i];
    }
    if (failure.kind == OpenFailureKind::UnclearChoice) {
        command.lines[0] = "the choice is not clear; name one of these with -a:";
    }
    return command;
}

CDriverInstrument& OpenRack(CMainframeSession& session, std::ostream& err) {
    try {
        CDriverInstrument& instrument = session.Open();
        if (!session.Warning().empty()) {
            err << "ksm7720: warning: " << session.Warning() << '\n';
        }
        return instrument;
    } catch (const COpenFailure& failure) {
        throw CommandFailure(failure);
    }
}
