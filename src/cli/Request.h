#pragma once
// A command with its arguments checked against the command table and the catalogue,
// before any instrument is reached: a bad KIND, NAME, VALUE or unit is a CUsageError.
#include "cli/CommandLine.h"
#include "core/QuantityCatalogue.h"
#include "core/Snapshot.h"
#include "core/TimeUnits.h"

#include <optional>
#include <string>
#include <vector>

struct CommandEntry;

using core::TimeUnitByName;
using core::TimeUnitName;

struct Request {
    const CommandEntry* entry = nullptr; // the command's entry in the table
    QuantityKind kind = BLOWER;
    int position = 0;            // as ObjectCodeOf takes it
    ObjectCode code = 0;         // of kind and position
    double value = 0.0;          // limit
    std::optional<int> timeUnit; // units: the one to set
    std::string text;            // message
    std::string resetKeyword;    // reset-history: the pair the driver is given
    std::string resetName;
    KindSet kinds = kAllKinds; // snapshot, log: the kinds named, or all
};

Request CheckRequest(const Invocation& invocation);

// The argument readers of the command table: each takes a command's arguments, already
// counted, into the request.
void ReadObject(const std::vector<std::string>& arguments, Request& request);
void ReadLimit(const std::vector<std::string>& arguments, Request& request);
void ReadKinds(const std::vector<std::string>& arguments, Request& request);
void ReadTimeUnit(const std::vector<std::string>& arguments, Request& request);
void ReadMessage(const std::vector<std::string>& arguments, Request& request);
void ReadResetTarget(const std::vector<std::string>& arguments, Request& request);
