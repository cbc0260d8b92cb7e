#pragma once
// The commands that talk to an open mainframe. A failing instrument call throws
// CInstrumentException as it does in the panel; FailureLines says what went wrong.
#include "cli/Request.h"
#include "cli/Table.h"
#include "core/DriverInstrument.h"

#include <optional>
#include <string>
#include <vector>

// A failure the instrument's status does not tell: what to say.
struct CCommandFailure {
    std::vector<std::string> lines;
};

struct CommandResult {
    std::optional<Table> table; // nothing for the commands that only change something
    bool passed = true;         // false: a self test that found failures
};

CommandResult RunCommand(const Request& request, CDriverInstrument& instrument);

// Why the last instrument call failed: the error queue's entries, oldest first, when it
// held any; the driver's text for the status otherwise.
std::vector<std::string> FailureLines(CInstrument& instrument);

// A status as the VISA documents write it: 0xBFFF0015.
std::string StatusHex(InstrumentStatus status);

// Takes the entries off the error queue, oldest first, up to limit; throws CCommandFailure
// when the queue cannot be read.
std::vector<std::pair<int, std::string>> DrainErrorQueue(CInstrument& instrument,
                                                         std::size_t limit);
