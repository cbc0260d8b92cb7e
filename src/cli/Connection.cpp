#include "cli/Connection.h"

#include "core/QuantityNames.h"
#include "core/ResourceChoice.h"

#include <cstdio>

namespace {

// No mainframe: and the resources that would not even open, where a mainframe that is off
// or out of reach would be.
CCommandFailure NoMainframe(const std::vector<std::string>& unopened) {
    CCommandFailure failure{{"no KS M7720 mainframe found"}};
    for (const std::string& descriptor : unopened) {
        failure.lines.push_back("  " + descriptor + " did not open");
    }
    return failure;
}

std::string ChooseResource(const CDiscovery& discovery, const Invocation& invocation) {
    if (!invocation.resource.empty()) {
        // As the panel takes it after -a: in upper case.
        return AsciiUpper(invocation.resource);
    }
    const ResourceChoice choice = ChooseResource(discovery, invocation.noIdentification);
    if (choice.candidates.empty()) {
        throw NoMainframe(choice.unopened);
    }
    if (choice.resource.empty()) {
        CCommandFailure failure{{"the choice is not clear; name one of these with -a:"}};
        for (const std::string& candidate : choice.candidates) {
            failure.lines.push_back("  " + candidate);
        }
        throw failure;
    }
    return choice.resource;
}

} // namespace

void OpenDiscovery(CDiscovery& discovery) {
    const auto failure = discovery.Open();
    if (!failure) {
        return;
    }
    std::vector<std::string> lines = OpenFailureLines(discovery, *failure);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        lines[i] = "  " + lines[i];
    }
    throw CCommandFailure{lines};
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

Mainframe OpenMainframe(CDiscovery& discovery, const Invocation& invocation) {
    OpenDiscovery(discovery);
    const std::string resource = ChooseResource(discovery, invocation);
    // The driver asks the resource who it is before anything else goes out: nothing is
    // ever sent to an instrument that is not a mainframe.
    auto connection = discovery.Connect(resource, {.timeOutMs = invocation.timeOutMs,
                                                   .identify = true,
                                                   .openTimeOutMs = invocation.timeOutMs});
    if (!connection.instrument) {
        if (connection.failure == DiscoveryFailure::BadDriver) {
            throw CCommandFailure{{"the instrument driver library lacks an entry point"}};
        }
        if (connection.status == VI_ERROR_FAIL_ID_QUERY) {
            throw CCommandFailure{{resource + " is not a KS M7720 mainframe (status " +
                                   StatusHex(connection.status) + ")"},
                                  connection.status};
        }
        const std::string text = discovery.StatusText(connection.status);
        const std::string why = text.empty() ? std::string() : ": " + text;
        throw CCommandFailure{
            {"could not open " + resource + why + " (status " + StatusHex(connection.status) + ")"},
            connection.status};
    }
    Mainframe mainframe(std::move(connection.instrument), InstrumentName(resource));
    mainframe.resource = resource;
    if (connection.timeOutStatus < 0) {
        const char* text = mainframe.instrument->GetStatusText(connection.timeOutStatus);
        throw CCommandFailure{{"the driver refused the time-out of " +
                               std::to_string(invocation.timeOutMs) + " ms" +
                               (text != nullptr ? std::string(": ") + text : std::string()) +
                               " (status " + StatusHex(connection.timeOutStatus) + ")"}};
    }
    return mainframe;
}

Mainframe::Mainframe(std::unique_ptr<CDriverInstrument> opened, std::string name)
    : instrument(std::move(opened)), rack(std::move(name)) {}

Mainframe::~Mainframe() {
    if (instrument) {
        instrument->Close();
    }
}
