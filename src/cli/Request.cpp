#include "cli/Request.h"

#include "core/InstrumentStatus.h"
#include "core/QuantityNames.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace {

struct CommandSyntax {
    const char* name;
    Command command;
    std::size_t minArguments;
    std::size_t maxArguments;
};

constexpr std::size_t kAny = 1000000;
constexpr std::array<CommandSyntax, 12> kCommands{{
    {"list", Command::List, 0, 0},
    {"read", Command::Read, 2, 2},
    {"histogram", Command::Histogram, 2, 2},
    {"units", Command::Units, 0, 1},
    {"limit", Command::Limit, 3, 3},
    {"save", Command::Save, 0, 0},
    {"message", Command::Message, 1, kAny},
    {"reset-history", Command::ResetHistory, 1, 2},
    {"reset", Command::Reset, 0, 0},
    {"selftest", Command::SelfTest, 0, 0},
    {"errors", Command::Errors, 0, 0},
    {"metrics", Command::Metrics, 0, 0},
}};

constexpr std::array<std::pair<const char*, int>, 3> kTimeUnits{{
    {"hours", kTimeUnitHours},
    {"minutes", kTimeUnitMinutes},
    {"seconds", kTimeUnitSeconds},
}};

const CommandSyntax& SyntaxOf(const std::string& name) {
    for (const CommandSyntax& syntax : kCommands) {
        if (name == syntax.name) {
            return syntax;
        }
    }
    throw CUsageError{"unknown command '" + name + "'"};
}

// Kind and object from the first two arguments.
void TakeObject(const Invocation& invocation, Request& request) {
    const auto kind = KindByName(invocation.arguments[0]);
    if (!kind) {
        throw CUsageError{"unknown KIND '" + invocation.arguments[0] +
                          "' (BLOWER, CURRENT, POWER, TEMPERATURE or VOLT)"};
    }
    const auto position = ObjectPositionByName(*kind, invocation.arguments[1]);
    if (!position) {
        throw CUsageError{"no " + std::string(KindInfo(*kind).listKeyword) + " object named '" +
                          invocation.arguments[1] + "'"};
    }
    request.kind = *kind;
    request.position = *position;
    request.code = *ObjectCodeOf(*kind, *position);
}

double LimitValue(const std::string& text) {
    double value = 0.0;
    // from_chars takes no plus sign; a script's "+5" is still the number 5.
    const char* first = text.data() + (text.size() > 1 && text[0] == '+' && text[1] != '-');
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        throw CUsageError{"VALUE must be a number, not '" + text + "'"};
    }
    return value;
}

int TimeUnitByName(const std::string& name) {
    for (const auto& [unitName, units] : kTimeUnits) {
        if (AsciiUpper(name) == AsciiUpper(unitName)) {
            return units;
        }
    }
    throw CUsageError{"unknown time unit '" + name + "' (hours, minutes or seconds)"};
}

// "all" and "queue" stand alone; anything else is KIND NAME.
void TakeResetTarget(const Invocation& invocation, Request& request) {
    const std::string first = AsciiUpper(invocation.arguments[0]);
    if (invocation.arguments.size() == 1 && (first == "ALL" || first == "QUEUE")) {
        request.resetKeyword = first == "ALL" ? "ALL" : "Q";
        return;
    }
    if (invocation.arguments.size() != 2) {
        throw CUsageError{"reset-history takes KIND NAME, all or queue"};
    }
    TakeObject(invocation, request);
    request.resetKeyword = KindInfo(request.kind).resetKeyword;
    request.resetName = ResetObjectName(request.kind, request.position);
}

} // namespace

Request CheckRequest(const Invocation& invocation) {
    const CommandSyntax& syntax = SyntaxOf(invocation.command);
    const std::size_t count = invocation.arguments.size();
    if (count < syntax.minArguments || count > syntax.maxArguments) {
        throw CUsageError{"wrong number of arguments for '" + invocation.command + "'"};
    }
    Request request;
    request.command = syntax.command;
    switch (syntax.command) {
    case Command::Read:
    case Command::Histogram:
        TakeObject(invocation, request);
        break;
    case Command::Limit:
        TakeObject(invocation, request);
        request.value = LimitValue(invocation.arguments[2]);
        break;
    case Command::Units:
        if (count == 1) {
            request.timeUnit = TimeUnitByName(invocation.arguments[0]);
        }
        break;
    case Command::Message:
        for (std::size_t i = 0; i < count; ++i) {
            request.text += (i > 0 ? " " : "") + invocation.arguments[i];
        }
        break;
    case Command::ResetHistory:
        TakeResetTarget(invocation, request);
        break;
    default:
        break;
    }
    if (request.command == Command::Metrics && invocation.format != OutputFormat::Text) {
        throw CUsageError{"metrics writes only the Prometheus text format"};
    }
    if (request.command != Command::Metrics && invocation.blowers) {
        throw CUsageError{"--blowers belongs to metrics"};
    }
    return request;
}

std::string TimeUnitName(int units) {
    for (const auto& [name, value] : kTimeUnits) {
        if (value == units) {
            return name;
        }
    }
    return std::to_string(units);
}
