#include "cli/Request.h"

#include "cli/CommandTable.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityNames.h"
#include "core/TimeUnits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

double LimitValue(const std::string& text) {
    // WholeNumber takes no plus sign; a script's "+5" is still the number 5.
    const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-';
    const auto value = WholeNumber<double>(std::string_view(text).substr(plus ? 1 : 0));
    if (!value || !std::isfinite(*value)) {
        throw CUsageError{"VALUE must be a number, not '" + text + "'"};
    }
    return *value;
}

int TimeUnitNumber(const std::string& name) {
    const auto units = TimeUnitByName(name);
    if (!units) {
        throw CUsageError{"unknown time unit '" + name + "' (hours, minutes or seconds)"};
    }
    return *units;
}

QuantityKind KindArgument(const std::string& text) {
    const auto kind = KindByName(text);
    if (!kind) {
        throw CUsageError{"unknown KIND '" + text +
                          "' (BLOWER, CURRENT, POWER, TEMPERATURE or VOLT)"};
    }
    return *kind;
}

bool Among(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// An option given to a command that does not take it.
void CheckOptionsBelong(const Invocation& invocation, const std::string& command) {
    if (invocation.blowers && command != "metrics") {
        throw CUsageError{"--blowers belongs to metrics"};
    }
    if (!invocation.output.empty() && !Among(command, {"metrics", "log"})) {
        throw CUsageError{"--output belongs to metrics and log"};
    }
    if (!invocation.name.empty() && !Among(command, {"metrics", "snapshot", "log"})) {
        throw CUsageError{"--name belongs to metrics, snapshot and log"};
    }
    const Invocation plain;
    const bool logOptions = invocation.intervalSeconds != plain.intervalSeconds ||
                            invocation.count || invocation.durationSeconds ||
                            invocation.syncSeconds != plain.syncSeconds ||
                            !invocation.configFile.empty();
    if (logOptions && command != "log") {
        throw CUsageError{
            "--interval, --count, --duration, --sync and --config.file belong to log"};
    }
    if (invocation.format == OutputFormat::Wide && !Among(command, {"snapshot", "log"})) {
        throw CUsageError{"--format wide belongs to snapshot and log"};
    }
    if (invocation.errorQueue != plain.errorQueue && !Among(command, {"snapshot", "log"})) {
        throw CUsageError{"--error-queue belongs to snapshot and log"};
    }
}

} // namespace

// Kind and object from the first two arguments.
void ReadObject(const std::vector<std::string>& arguments, Request& request) {
    const QuantityKind kind = KindArgument(arguments[0]);
    const auto position = ObjectPositionByName(kind, arguments[1]);
    if (!position) {
        throw CUsageError{"no " + std::string(KindInfo(kind).listKeyword) + " object named '" +
                          arguments[1] + "'"};
    }
    request.kind = kind;
    request.position = *position;
    request.code = *ObjectCodeOf(kind, *position);
}

void ReadKinds(const std::vector<std::string>& arguments, Request& request) {
    if (arguments.empty()) {
        return;
    }
    request.kinds.fill(false);
    for (const std::string& argument : arguments) {
        request.kinds[KindArgument(argument)] = true;
    }
}

void ReadLimit(const std::vector<std::string>& arguments, Request& request) {
    ReadObject(arguments, request);
    request.value = LimitValue(arguments[2]);
}

void ReadTimeUnit(const std::vector<std::string>& arguments, Request& request) {
    if (!arguments.empty()) {
        request.timeUnit = TimeUnitNumber(arguments[0]);
    }
}

void ReadMessage(const std::vector<std::string>& arguments, Request& request) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        request.text += (i > 0 ? " " : "") + arguments[i];
    }
}

// "all" and "queue" stand alone; anything else is KIND NAME.
void ReadResetTarget(const std::vector<std::string>& arguments, Request& request) {
    const std::string first = AsciiUpper(arguments[0]);
    if (arguments.size() == 1 && (first == "ALL" || first == "QUEUE")) {
        request.resetKeyword = first == "ALL" ? "ALL" : "Q";
        return;
    }
    if (arguments.size() != 2) {
        throw CUsageError{"reset-history takes KIND NAME, all or queue"};
    }
    ReadObject(arguments, request);
    request.resetKeyword = KindInfo(request.kind).resetKeyword;
    request.resetName = ResetObjectName(request.kind, request.position);
}

Request CheckRequest(const Invocation& invocation) {
    const CommandEntry* entry = FindCommand(invocation.command);
    if (entry == nullptr) {
        throw CUsageError{"unknown command '" + invocation.command + "'"};
    }
    const std::size_t count = invocation.arguments.size();
    if (count < entry->minArguments || count > entry->maxArguments) {
        throw CUsageError{"wrong number of arguments for '" + invocation.command + "'"};
    }
    if (entry->ownFormat != nullptr && invocation.format != OutputFormat::Text) {
        throw CUsageError{std::string(entry->name) + " writes only " + entry->ownFormat};
    }
    Request request;
    request.entry = entry;
    if (entry->readArguments != nullptr) {
        entry->readArguments(invocation.arguments, request);
    }
    CheckOptionsBelong(invocation, entry->name);
    return request;
}
