#pragma once
// A command with its arguments checked against the catalogue, before any instrument is
// reached: a bad KIND, NAME, VALUE or unit is a CUsageError.
#include "cli/CommandLine.h"
#include "core/QuantityCatalogue.h"

#include <optional>
#include <string>

enum class Command {
    List,
    Read,
    Histogram,
    Units,
    Limit,
    Save,
    Message,
    ResetHistory,
    Reset,
    SelfTest,
    Errors,
    Metrics
};

struct Request {
    Command command = Command::List;
    QuantityKind kind = BLOWER;
    int position = 0;            // as ObjectCodeOf takes it
    ObjectCode code = 0;         // of kind and position
    double value = 0.0;          // limit
    std::optional<int> timeUnit; // units: the one to set
    std::string text;            // message
    std::string resetKeyword;    // reset-history: the pair the driver is given
    std::string resetName;
};

Request CheckRequest(const Invocation& invocation);

// The histogram time unit's name, or its number when it has none.
std::string TimeUnitName(int units);
