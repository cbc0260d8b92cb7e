#pragma once
// What the commands do on an open mainframe, one action each. A failing instrument call
// throws CInstrumentException as it does in the panel; FailureLines says what went wrong.
#include "cli/Request.h"
#include "cli/Table.h"
#include "core/DriverInstrument.h"
#include "core/Error.h"
#include "core/ErrorQueue.h"
#include "core/FailureDescription.h"
#include "core/StatusNames.h"

#include <optional>
#include <string>
#include <vector>

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// A reading was taken, and the mainframe reports it over its limit.
constexpr int kExitOverLimit = 3;

// A command that failed: what to say, a line each.
struct CCommandFailure : CError {
    explicit CCommandFailure(std::vector<std::string> said, InstrumentStatus failing = 0)
        : CError(said.empty() ? std::string() : said.front()), lines(std::move(said)),
          status(failing) {}

    std::vector<std::string> lines;
    InstrumentStatus status = 0; // the failing call's, when one said why
};

struct CommandResult {
    std::optional<Table> table;     // nothing for the commands that only change something
    int status = 0;                 // the exit status: kExitFailure for a failed self test
    std::vector<std::string> notes; // for standard error, after the table
};

using CommandAction = CommandResult (*)(const Request&, CDriverInstrument&);

// The reading's values in the mainframe's unit; then, for scripts, in the base unit, with
// the verdict and the time (the columns after the first five).
CommandResult ReadLevel(const Request& request, CDriverInstrument& instrument);
constexpr std::size_t kReadTextColumns = 5;
CommandResult ReadHistogram(const Request& request, CDriverInstrument& instrument);
CommandResult TimeUnits(const Request& request, CDriverInstrument& instrument);
CommandResult SetLimit(const Request& request, CDriverInstrument& instrument);
CommandResult SaveSettings(const Request& request, CDriverInstrument& instrument);
CommandResult ShowMessage(const Request& request, CDriverInstrument& instrument);
CommandResult ResetHistory(const Request& request, CDriverInstrument& instrument);
CommandResult ResetMainframe(const Request& request, CDriverInstrument& instrument);
CommandResult RunSelfTest(const Request& request, CDriverInstrument& instrument);
CommandResult DrainErrors(const Request& request, CDriverInstrument& instrument);

// Runs the action; an instrument failure becomes a CCommandFailure that says why.
CommandResult RunAction(CommandAction action, const Request& request,
                        CDriverInstrument& instrument);

// Why an instrument call failed: every entry it took off the error queue, oldest first,
// then, unless the mainframe's entries are the reason, the reason and its status.
std::vector<std::string> FailureLines(const FailureDescription& failure);

// Takes the entries off the error queue, oldest first (DrainErrorQueue); throws
// CCommandFailure, with the entries taken, when the queue cannot be read or never reports
// empty.
std::vector<ErrorEntry> ErrorEntries(CInstrument& instrument);
