#include "cli/CommandTable.h"

#include "cli/Commands.h"
#include "cli/Connection.h"
#include "cli/LogCommand.h"
#include "cli/Metrics.h"
#include "cli/SnapshotCommand.h"

#include <array>
#include <iostream>

namespace {

constexpr std::size_t kAny = 1000000;
constexpr std::size_t kHelpIndent = 27; // where the help lines' texts begin

// A command that runs one action on the mainframe and prints its table; one that only
// changes something prints nothing, or in JSON an empty array.
template <CommandAction Action>
int OnMainframe(const Request& request, const Invocation& invocation, CDiscovery& discovery) {
    CMainframeSession session(discovery.VisaNames(), discovery.DriverNames(),
                              RackOptions(invocation, invocation.resource));
    const CommandResult result = RunAction(Action, request, OpenRack(session, std::cerr));
    if (result.table) {
        WriteTable(*result.table, invocation.format, std::cout);
    } else if (invocation.format == OutputFormat::Json) {
        std::cout << "[]\n";
    }
    for (const std::string& note : result.notes) {
        std::cerr << "ksm7720: " << note << '\n';
    }
    return result.status;
}

// read: the text keeps its five columns for a person; csv and json also carry the base
// unit, the verdict, the time and the resource for a script.
int ReadOne(const Request& request, const Invocation& invocation, CDiscovery& discovery) {
    CMainframeSession session(discovery.VisaNames(), discovery.DriverNames(),
                              RackOptions(invocation, invocation.resource));
    CommandResult result = RunAction(ReadLevel, request, OpenRack(session, std::cerr));
    Table& table = *result.table;
    if (invocation.format == OutputFormat::Text) {
        table.columns.resize(kReadTextColumns);
        for (auto& row : table.rows) {
            row.resize(kReadTextColumns);
        }
    } else {
        table.columns.push_back("resource");
        for (auto& row : table.rows) {
            row.push_back(TextCell(session.Resource()));
        }
    }
    WriteTable(table, invocation.format, std::cout);
    for (const std::string& note : result.notes) {
        std::cerr << "ksm7720: " << note << '\n';
    }
    return result.status;
}

int ListResources(const Request&, const Invocation& invocation, CDiscovery& discovery) {
    OpenDiscovery(discovery);
    WriteTable(ListResources(discovery), invocation.format, std::cout);
    return 0;
}

int WriteMetrics(const Request&, const Invocation& invocation, CDiscovery& discovery) {
    return RunMetrics(invocation, discovery, std::cout, std::cerr);
}

const std::array<CommandEntry, 14> kCommands{{
    {"list", "", "every VISA resource, its interface, and whether it is a mainframe", 0, 0, nullptr,
     false, nullptr, ListResources},
    {"read", "KIND NAME", "the present reading with its unit", 2, 2, ReadObject, true, nullptr,
     ReadOne},
    {"histogram", "KIND NAME", "the ten bins: edges, counts, unit and time unit", 2, 2, ReadObject,
     true, nullptr, OnMainframe<ReadHistogram>},
    {"units", "[hours|minutes|seconds]", "show or set the histogram time unit", 0, 1, ReadTimeUnit,
     true, nullptr, OnMainframe<TimeUnits>},
    {"limit", "KIND NAME VALUE", "set an object's limit, in the unit read prints", 3, 3, ReadLimit,
     true, nullptr, OnMainframe<SetLimit>},
    {"save", "", "save limits and time unit in non-volatile memory", 0, 0, nullptr, true, nullptr,
     OnMainframe<SaveSettings>},
    {"message", "TEXT...", "show TEXT on the mainframe's display", 1, kAny, ReadMessage, true,
     nullptr, OnMainframe<ShowMessage>},
    {"reset-history", "KIND NAME", "clear one history (or: reset-history all | queue)", 1, 2,
     ReadResetTarget, true, nullptr, OnMainframe<ResetHistory>},
    {"reset", "", "reset the mainframe", 0, 0, nullptr, true, nullptr, OnMainframe<ResetMainframe>},
    {"selftest", "", "run the self test", 0, 0, nullptr, true, nullptr, OnMainframe<RunSelfTest>},
    {"errors", "", "drain the error queue, oldest first", 0, 0, nullptr, true, nullptr,
     OnMainframe<DrainErrors>},
    {"metrics", "", "every present reading in the Prometheus text format", 0, 0, nullptr, true,
     "the Prometheus text format", WriteMetrics},
    {"snapshot", "[KIND...]", "every reading of the rack in one session", 0, kAny, ReadKinds, true,
     nullptr, RunSnapshot},
    {"log", "[KIND...]", "a snapshot of each rack every --interval, appended", 0, kAny, ReadKinds,
     true, nullptr, RunLog},
}};

} // namespace

std::span<const CommandEntry> CommandTable() {
    return kCommands;
}

const CommandEntry* FindCommand(const std::string& name) {
    for (const CommandEntry& entry : kCommands) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

std::string CommandHelp() {
    std::string text;
    for (const CommandEntry& entry : kCommands) {
        std::string line = std::string("  ") + entry.name;
        if (*entry.arguments != '\0') {
            line += std::string(" ") + entry.arguments;
        }
        line.resize(std::max(line.size() + 2, kHelpIndent), ' ');
        text += line + entry.help + '\n';
    }
    return text;
}
