#pragma once
// Every command of ksm7720 in one table: its name, its arguments, its help line, whether
// it needs the driver library, and its handler. A new command is a new entry; the help
// text and the checks of the command line come from the table.
#include "cli/CommandLine.h"
#include "cli/Request.h"
#include "core/Discovery.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// Runs a checked command and returns the exit status. The discovery holds the library
// names (the driver's only when the entry needs it) but is not open yet: the handler opens
// and connects through the helpers of Connection.h, so a handler that must write something
// even when that fails can catch the failure. Failures throw CCommandFailure.
using CommandHandler = int (*)(const Request&, const Invocation&, CDiscovery&);
// Takes a command's arguments, already counted, into the request; throws CUsageError.
using ArgumentReader = void (*)(const std::vector<std::string>&, Request&);

struct CommandEntry {
    const char* name;
    const char* arguments; // as the help shows them
    const char* help;      // one line
    std::size_t minArguments;
    std::size_t maxArguments;
    ArgumentReader readArguments; // nullptr: takes none
    bool needsDriver;
    const char* ownFormat; // nullptr: a table in --format; otherwise the one format it writes
    CommandHandler run;
};

std::span<const CommandEntry> CommandTable();
// The entry of that name, or nullptr.
const CommandEntry* FindCommand(const std::string& name);
// One help line per command, in table order.
std::string CommandHelp();
